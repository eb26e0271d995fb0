#!/usr/bin/env python3
"""Serves files of any size that exist nowhere, for the download engine's large-file tests: /SIZE/NAME
is SIZE bytes of a fixed pattern, over TLS with the loopback test certificate (tools/test-servers.sh
makes it). Honours a single Range, answers HEAD, names the length; nothing touches the disk.

The pattern repeats every PERIOD bytes, a prime, so that a byte written at an offset off by any power
of two (a size kept in 32 bits, say) differs from the byte that belongs there.

usage: big-file-server.py --port PORT --cert CERT --key KEY [--address 127.0.0.1]
       big-file-server.py --digest SIZE      prints the SHA-256 of the SIZE-byte file
"""

import argparse
import hashlib
import http.server
import random
import re
import socketserver
import ssl
import sys

PERIOD = 1048573
CHUNK = 1 << 20
PATTERN = random.Random(20261209).randbytes(PERIOD)
WINDOW = memoryview(PATTERN + PATTERN[:CHUNK])  # any CHUNK bytes of the stream are one slice of it
RANGE_RE = re.compile(r"^bytes=(\d+)-(\d*)$")


def chunks(start, end):
    """The stream's bytes from START to END inclusive, as slices of at most CHUNK bytes."""
    position = start
    while position <= end:
        count = min(CHUNK, end + 1 - position)
        phase = position % PERIOD
        yield WINDOW[phase:phase + count]
        position += count


def digest(size):
    sha = hashlib.sha256()
    for piece in chunks(0, size - 1):
        sha.update(piece)
    return sha.hexdigest()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.answer(head=True)

    def do_GET(self):
        self.answer(head=False)

    def answer(self, head):
        match = re.match(r"^/(\d+)/[^/]+$", self.path)
        if not match:
            self.send_error(404)
            return
        size = int(match.group(1))
        start, end = 0, size - 1
        ranged = RANGE_RE.match(self.headers.get("Range", "").replace(" ", ""))
        if ranged and int(ranged.group(1)) < size:
            start = int(ranged.group(1))
            end = min(int(ranged.group(2)) if ranged.group(2) else size - 1, size - 1)
        self.send_response(206 if ranged else 200)
        if ranged:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        self.send_header("Content-Length", str(end - start + 1))
        self.send_header("Accept-Ranges", "bytes")
        self.end_headers()
        if head:
            return
        try:
            for piece in chunks(start, end):
                self.wfile.write(piece)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            self.close_connection = True


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--digest", type=int)
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    args = parser.parse_args()
    if args.digest is not None:
        print(digest(args.digest))
        return
    if not args.address.startswith("127."):
        sys.exit("the big-file server listens on loopback only")
    server = Server((args.address, args.port), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("listening", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
