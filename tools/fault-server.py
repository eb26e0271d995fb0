#!/usr/bin/env python3
"""Misbehaving HTTP server for the download tests. Loopback only, plain HTTP, standard library only.

It serves the files of the test web root (the folder nginx serves) through a fault chosen by the
first parts of the request path:

  /plain/FILE                    honours Range, like a good server
  /cut/N/FILE                    announces the full length, closes after N body bytes
  /cutfirst/N/TOKEN/FILE         like cut, but only for the first request of each TOKEN and range end
                                 (a request that resumes the range where the cut left it is served)
  /norange/FILE                  ignores Range: always 200 with the whole file
  /status/CODE/FILE              answers CODE with a body as long as the requested range (or file)
  /rangestatus/CODE/FILE         a request without Range gets FILE; one with Range gets CODE, as status
  /nolength/FILE                 no Content-Length: the body ends when the connection closes (nginx
                                 passes such answers on chunked); Range is honoured
  /stream/FILE                   no Content-Length and Range ignored: always the whole file, 200
  /trickle/BYTES/MS/FILE         sends BYTES, sleeps MS milliseconds, and so on to the end
  /stall/N/SECONDS/FILE          sends N bytes, goes quiet for SECONDS, then sends the rest
  /stallfrom/START/N/FILE        an answer to a Range that starts at byte START sends N bytes and goes
                                 quiet for good (a connection that stalls); other requests are plain
  /drop/FILE                     closes the connection without any answer
  /empty/CODE/FILE               answers CODE with an empty body (Content-Length: 0)
  /altered/FILE                  honours Range, but serves FILE with every byte inverted
  /shifted/N/FILE                answers a range N bytes further on, and its Content-Range says so
  /grown/N/TOKEN/FILE            the first request of TOKEN sees FILE without its last N bytes, later
                                 ones the whole FILE (a file that grew after the size query)
  /versioned/KIND/TOKEN/FILE     a file replaced after the first two requests of TOKEN: version 1 is
                                 FILE, version 2 FILE inverted, same size. KIND names the validators:
                                 "strong" (ETag and a Last-Modified long before the answer's Date),
                                 "fresh" (ETag and a Last-Modified of this very second, too recent to
                                 be a strong validator), "weak" (a W/ ETag and Last-Modified), "date"
                                 (Last-Modified alone); each honours If-Range (a validator of another
                                 version gets the whole file with 200); "blind" sends both validators
                                 and ignores If-Range; "restless" is "strong" with a new version for
                                 every request (odd versions FILE, even ones FILE inverted)
  /farm/TOKEN/FILE               FILE from a farm whose nodes take turns: each answer carries its
                                 node's own ETag and the same old Last-Modified, and honours If-Range
                                 by that date or its own ETag
  /slowtail/BYTES/MS/FILE        a Range from byte 0 (or none) is answered at once, any other like
                                 /trickle/
  /encoded/FILE                  honours Range, and says its bodies are gzip (they are not); sends
                                 them at about 12 MiB/s
  /route/PATH                    the fault written in the web root's ".fault-route" file (nginx sends
                                 every request here while that file exists), for PATH below the root
  /dribble/MS                    GET or HEAD: an empty answer whose status line and headers come a
                                 byte every MS milliseconds
  /collect?...                   analytics endpoint: an empty 200

Beside it, on the same address, two listeners that never answer (--silent-port, --full-port):

  SILENT_PORT                    accepts every connection and never sends a byte (a TLS handshake
                                 that never completes, a request that never gets its answer)
  FULL_PORT                      never accepts; its one-place queue is kept full, so a new connection's
                                 SYN is dropped and the connect never completes

Every request is appended to the request log as one line: METHOD TARGET "RANGE", followed by
 if-range=VALUE when the request carries If-Range.
"""

import argparse
import http.server
import os
import re
import signal
import socket
import socketserver
import sys
import threading
import time

RANGE_RE = re.compile(r"^bytes=(\d+)-(\d*)$")
MAX_STALL_SECONDS = 120  # a stalled answer never outlives a test run
# cutfirst holds its cut connection this long before closing it, so that ranges started together have
# all made their first request before any of them sees a failure.
CUTFIRST_LINGER_SECONDS = 0.3


class State:
    root = "."
    log_path = None
    log_lock = threading.Lock()
    seen_lock = threading.Lock()
    seen = set()
    counts = {}

    @classmethod
    def log(cls, line):
        with cls.log_lock:
            with open(cls.log_path, "a", encoding="utf-8") as log:
                log.write(line + "\n")

    @classmethod
    def first_time(cls, key):
        with cls.seen_lock:
            if key in cls.seen:
                return False
            cls.seen.add(key)
            return True

    @classmethod
    def count(cls, key):
        """How many requests of KEY came before this one."""
        with cls.seen_lock:
            n = cls.counts.get(key, 0)
            cls.counts[key] = n + 1
            return n


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "fault-server"

    def log_message(self, *args):
        pass  # the request log below is the only record

    def do_HEAD(self):
        self.dispatch(head=True)

    def do_GET(self):
        self.dispatch(head=False)

    def dispatch(self, head):
        range_header = self.headers.get("Range", "")
        if_range = self.headers.get("If-Range")
        State.log('%s %s "%s"%s' % (self.command, self.path, range_header,
                                    "" if if_range is None else " if-range=" + if_range))
        self.close_connection = True
        parts = self.path.split("?", 1)[0].lstrip("/").split("/")
        mode = parts[0]
        try:
            handler = getattr(self, "mode_" + mode)
        except AttributeError:
            return self.simple(404, b"unknown fault mode\n", head)
        try:
            handler(parts[1:], head, range_header)
        except (BrokenPipeError, ConnectionResetError):
            pass

    # -- helpers ---------------------------------------------------------------------------------

    def read_file(self, name):
        """A file below the web root; None for a missing one or a name that leads out of the root."""
        root = os.path.realpath(State.root)
        path = os.path.realpath(os.path.join(root, name))
        if not path.startswith(root + os.sep):
            return None
        try:
            with open(path, "rb") as f:
                return f.read()
        except OSError:
            return None

    @staticmethod
    def requested_slice(size, range_header):
        """(start, end) inclusive of the Range header, or None for the whole file."""
        m = RANGE_RE.match(range_header.replace(" ", ""))
        if not m:
            return None
        start = int(m.group(1))
        end = int(m.group(2)) if m.group(2) else size - 1
        if start > end or start >= size:
            return None
        return start, min(end, size - 1)

    def simple(self, code, body, head):
        self.send_response(code)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        if not head:
            self.wfile.write(body)

    def start_answer(self, data, range_header, honour_range=True, length=True):
        """Sends status and headers; returns the body bytes that belong to the answer."""
        size = len(data)
        part = self.requested_slice(size, range_header) if honour_range else None
        if part:
            start, end = part
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
            body = data[start:end + 1]
        else:
            self.send_response(200)
            body = data
        self.send_header("Content-Type", "application/octet-stream")
        if length:
            self.send_header("Content-Length", str(len(body)))
        if honour_range:
            self.send_header("Accept-Ranges", "bytes")
        self.send_header("Connection", "close")
        self.end_headers()
        return body

    def file_or_404(self, name, head):
        data = self.read_file(name) if name else None
        if data is None:
            self.simple(404, b"no such file\n", head)
        return data

    # -- fault modes -----------------------------------------------------------------------------

    def mode_plain(self, args, head, range_header):
        data = self.file_or_404(args[-1] if args else "", head)
        if data is not None:
            body = self.start_answer(data, range_header)
            if not head:
                self.wfile.write(body)

    def send_cut(self, data, head, range_header, keep, linger=0.0):
        body = self.start_answer(data, range_header)
        if not head:
            self.wfile.write(body[:keep])
            self.wfile.flush()
            time.sleep(linger)

    def mode_cut(self, args, head, range_header):
        data = self.file_or_404(args[1] if len(args) > 1 else "", head)
        if data is not None:
            self.send_cut(data, head, range_header, int(args[0]))

    def mode_cutfirst(self, args, head, range_header):
        data = self.file_or_404(args[2] if len(args) > 2 else "", head)
        if data is None:
            return
        part = self.requested_slice(len(data), range_header)
        end = part[1] if part else len(data) - 1
        if not head and State.first_time((args[1], end)):
            self.send_cut(data, head, range_header, int(args[0]), CUTFIRST_LINGER_SECONDS)
        else:
            self.mode_plain(args[2:], head, range_header)

    def mode_route(self, args, head, range_header):
        """/route/PATH: the fault that the web root's file ".fault-route" names (for instance
        "cutfirst/65536/TOKEN"), applied to the file at PATH below the web root; plain without one."""
        try:
            with open(os.path.join(State.root, ".fault-route"), encoding="utf-8") as f:
                fault = f.read().strip().split("/")
        except OSError:
            fault = ["plain"]
        handler = getattr(self, "mode_" + fault[0], None)
        if handler is None or fault[0] == "route":
            return self.simple(500, b"bad .fault-route\n", head)
        handler(fault[1:] + ["/".join(args)], head, range_header)

    def mode_norange(self, args, head, range_header):
        data = self.file_or_404(args[-1] if args else "", head)
        if data is not None:
            body = self.start_answer(data, range_header, honour_range=False)
            if not head:
                self.wfile.write(body)

    def mode_status(self, args, head, range_header):
        data = self.file_or_404("/".join(args[1:]), head)
        if data is None:
            return
        part = self.requested_slice(len(data), range_header)
        length = part[1] - part[0] + 1 if part else len(data)
        self.send_response(int(args[0]))
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()
        if not head:
            self.wfile.write(b"E" * length)

    def mode_rangestatus(self, args, head, range_header):
        if range_header:
            self.mode_status(args, head, range_header)
        else:
            self.mode_plain(args[1:], head, range_header)

    def mode_nolength(self, args, head, range_header):
        data = self.file_or_404(args[-1] if args else "", head)
        if data is not None:
            body = self.start_answer(data, range_header, length=False)
            if not head:
                self.wfile.write(body)

    def mode_stream(self, args, head, range_header):
        data = self.file_or_404(args[-1] if args else "", head)
        if data is not None:
            body = self.start_answer(data, range_header, honour_range=False, length=False)
            if not head:
                self.wfile.write(body)

    def mode_stallfrom(self, args, head, range_header):
        data = self.file_or_404(args[2] if len(args) > 2 else "", head)
        if data is None:
            return
        part = self.requested_slice(len(data), range_header)
        if head or not part or part[0] != int(args[0]):
            return self.mode_plain(args[2:], head, range_header)
        body = self.start_answer(data, range_header)
        self.wfile.write(body[:int(args[1])])
        self.wfile.flush()
        time.sleep(MAX_STALL_SECONDS)

    def mode_trickle(self, args, head, range_header):
        data = self.file_or_404(args[2] if len(args) > 2 else "", head)
        if data is None:
            return
        step, pause = max(1, int(args[0])), int(args[1]) / 1000.0
        body = self.start_answer(data, range_header)
        if head:
            return
        for offset in range(0, len(body), step):
            self.wfile.write(body[offset:offset + step])
            self.wfile.flush()
            time.sleep(pause)

    def mode_stall(self, args, head, range_header):
        data = self.file_or_404(args[2] if len(args) > 2 else "", head)
        if data is None:
            return
        keep, quiet = int(args[0]), min(float(args[1]), MAX_STALL_SECONDS)
        body = self.start_answer(data, range_header)
        if head:
            return
        self.wfile.write(body[:keep])
        self.wfile.flush()
        time.sleep(quiet)
        self.wfile.write(body[keep:])

    def mode_drop(self, args, head, range_header):
        pass  # closing without a word is the fault

    def mode_empty(self, args, head, range_header):
        if self.file_or_404(args[1] if len(args) > 1 else "", head) is not None:
            self.simple(int(args[0]), b"", head)

    def mode_altered(self, args, head, range_header):
        data = self.file_or_404(args[-1] if args else "", head)
        if data is not None:
            body = self.start_answer(inverted(data), range_header)
            if not head:
                self.wfile.write(body)

    def mode_shifted(self, args, head, range_header):
        data = self.file_or_404(args[1] if len(args) > 1 else "", head)
        if data is None:
            return
        part = self.requested_slice(len(data), range_header)
        if not part:
            return self.mode_plain(args[1:], head, range_header)
        shift = int(args[0])
        start, end = part[0] + shift, min(part[1] + shift, len(data) - 1)
        self.send_response(206)
        self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, len(data)))
        self.send_header("Content-Length", str(end - start + 1))
        self.send_header("Connection", "close")
        self.end_headers()
        if not head:
            self.wfile.write(data[start:end + 1])

    def mode_grown(self, args, head, range_header):
        data = self.file_or_404(args[2] if len(args) > 2 else "", head)
        if data is None:
            return
        if State.count(("grown", args[1])) == 0:
            data = data[:max(0, len(data) - int(args[0]))]
        body = self.start_answer(data, range_header)
        if not head:
            self.wfile.write(body)

    def mode_versioned(self, args, head, range_header):
        data = self.file_or_404(args[2] if len(args) > 2 else "", head)
        if data is None:
            return
        kind, token = args[0], args[1]
        seen = State.count(("versioned", token))
        version = seen + 1 if kind == "restless" else (1 if seen < 2 else 2)
        if version % 2 == 0:
            data = inverted(data)
        etag = {"strong": '"v%d-%s"', "fresh": '"v%d-%s"', "weak": 'W/"v%d-%s"', "blind": '"v%d-%s"',
                "restless": '"v%d-%s"'}.get(kind)
        etag = etag % (version, token) if etag else None
        modified = "Mon, %02d Jan 2024 00:00:00 GMT" % version
        if kind == "fresh":
            modified = self.date_time_string()
        self.send_versioned(data, range_header, etag, modified, kind != "blind", head)

    def mode_farm(self, args, head, range_header):
        data = self.file_or_404(args[1] if len(args) > 1 else "", head)
        if data is None:
            return
        etag = '"node%d-%s"' % (State.count(("farm", args[0])) % 3, args[0])
        self.send_versioned(data, range_header, etag, "Mon, 01 Jan 2024 00:00:00 GMT", True, head)

    def send_versioned(self, data, range_header, etag, modified, honour_if_range, head):
        if_range = self.headers.get("If-Range")
        if honour_if_range and if_range is not None and if_range not in (modified, etag):
            range_header = ""  # another version than the one asked for: the whole file
        part = self.requested_slice(len(data), range_header)
        self.send_response(206 if part else 200)
        if part:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (part[0], part[1], len(data)))
            data = data[part[0]:part[1] + 1]
        if etag:
            self.send_header("ETag", etag)
        self.send_header("Last-Modified", modified)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        if not head:
            self.wfile.write(data)

    def mode_slowtail(self, args, head, range_header):
        part = self.requested_slice(1 << 62, range_header)
        if part is None or part[0] == 0:
            return self.mode_plain(args[2:], head, range_header)
        self.mode_trickle(args, head, range_header)

    def mode_encoded(self, args, head, range_header):
        data = self.file_or_404(args[-1] if args else "", head)
        if data is None:
            return
        part = self.requested_slice(len(data), range_header)
        self.send_response(206 if part else 200)
        if part:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (part[0], part[1], len(data)))
            data = data[part[0]:part[1] + 1]
        self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        # 256 KiB every 20 ms: what a client that closes at once leaves unsent stays unsent, instead of
        # vanishing into socket buffers, so the web server's log tells whether the body was read.
        for offset in range(0, 0 if head else len(data), 262144):
            self.wfile.write(data[offset:offset + 262144])
            self.wfile.flush()
            time.sleep(0.02)

    def mode_slowheaders(self, args, head, range_header):
        """/slowheaders/MS/FILE: a HEAD is answered at once; a GET gets its status line and headers a
        byte every MS milliseconds (the body never comes before MAX_STALL_SECONDS)."""
        data = self.file_or_404(args[1] if len(args) > 1 else "", head)
        if data is None or head:
            return self.mode_plain(args[1:], head, range_header)
        text = b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nX-Padding: %s\r\n\r\n" % (len(data), b"x" * 4096)
        self.dribble(text, int(args[0]))

    def mode_dribble(self, args, head, range_header):
        """/dribble/MS: a GET or HEAD gets an empty answer whose status line and
        headers come a byte every MS milliseconds."""
        self.dribble(b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\nX-Padding: %s\r\n\r\n" % (b"x" * 4096), int(args[0]))

    def dribble(self, text, ms):
        deadline = time.time() + MAX_STALL_SECONDS
        for byte in text:
            if time.time() > deadline:
                return
            self.wfile.write(bytes([byte]))
            self.wfile.flush()
            time.sleep(ms / 1000.0)

    def mode_collect(self, args, head, range_header):
        self.simple(200, b"", head)


def inverted(data):
    return bytes(b ^ 0xFF for b in data)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128


def hold_silent(address, port):
    """Accepts and keeps every connection open, never sending a byte."""
    listener = socket.create_server((address, port), backlog=128)
    held = []
    while True:
        connection, _ = listener.accept()
        held.append(connection)
        held = [c for c in held[-256:]]


def hold_full(address, port):
    """Listens with a one-place queue that its own connection keeps full, and never accepts."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(0)
    fillers = []
    for _ in range(2):
        filler = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        filler.setblocking(False)
        filler.connect_ex((address, port))
        fillers.append(filler)
    threading.Event().wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="127.0.0.2")
    parser.add_argument("--port", type=int, default=80)
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--pid", required=True)
    parser.add_argument("--silent-port", type=int, default=0)
    parser.add_argument("--full-port", type=int, default=0)
    args = parser.parse_args()
    if not args.address.startswith("127."):
        sys.exit("the fault server listens on loopback only")
    State.root = args.root
    State.log_path = args.log
    server = Server((args.address, args.port), Handler)
    for port, hold in ((args.silent_port, hold_silent), (args.full_port, hold_full)):
        if port:
            threading.Thread(target=hold, args=(args.address, port), daemon=True).start()
    with open(args.pid, "w") as f:
        f.write(str(os.getpid()))
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))  # stalled answers are not waited for
    server.serve_forever()


if __name__ == "__main__":
    main()
