#!/usr/bin/env python3
"""Payloads past 2 GiB and 4 GiB through the real engine (httpget.exe under Wine) from a server that
generates them (tools/big-file-server.py, nothing on the server's disk): the size, every range offset
and the progress count hold 64-bit numbers, and the file on disk is byte for byte the generator's
(its SHA-256). The client-side file is deleted after each size.

usage: big_payload_test.py BUILD_DIR      (the test build's folder: httpget.exe and its Wine prefix)
"""

import hashlib
import os
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))
SERVER = os.path.join(ROOT, "tools", "big-file-server.py")
CA_DIR = os.environ.get("SETUP_TEST_CA_DIR",
                        os.path.join(os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")), "setup-test-ca"))
PORT = 9443
MIB = 1 << 20
SIZES = [(2 << 30) + MIB, (4 << 30) + MIB]


def start_server():
    server = subprocess.Popen([sys.executable, SERVER, "--port", str(PORT), "--cert", os.path.join(CA_DIR, "localhost.crt"),
                               "--key", os.path.join(CA_DIR, "localhost.key")], stdout=subprocess.PIPE)
    if server.stdout.readline().strip() != b"listening":
        sys.exit("FAIL: the big-file server did not start")
    return server


def file_digest(path):
    sha = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(8 * MIB), b""):
            sha.update(block)
    return sha.hexdigest()


def expected_digest(size):
    return subprocess.run([sys.executable, SERVER, "--digest", str(size)], check=True, capture_output=True,
                          text=True).stdout.strip()


def download(build, size, output):
    command = [os.path.join(ROOT, "tools", "wine-run.sh"), os.path.join(build, "httpget.exe"),
               "https://localhost:%d/%d/big.bin" % (PORT, size), "Z:" + output.replace("/", "\\"), "5"]
    began = time.time()
    run = subprocess.run(command, capture_output=True, text=True, timeout=150)
    return run.returncode, run.stdout, time.time() - began


def main():
    build = os.path.abspath(sys.argv[1])
    os.environ.setdefault("WINEPREFIX", os.path.join(build, "wineprefix"))
    output = os.path.join(build, "big-payload.bin")
    server = start_server()
    failures = []
    try:
        for size in SIZES:
            code, text, seconds = download(build, size, output)
            line = [l for l in text.splitlines() if l.startswith("result=")]
            print("%d bytes: exit %d, %s (%.1f s)" % (size, code, line[0] if line else text.strip(), seconds))
            if code != 0 or not line or " bytes=%d " % size not in line[0] + " ":
                failures.append("%d bytes: %s" % (size, text.strip()))
            elif os.path.getsize(output) != size or file_digest(output) != expected_digest(size):
                failures.append("%d bytes: the file differs from the generator's" % size)
            if os.path.exists(output):
                os.remove(output)
    finally:
        server.terminate()
        server.wait()
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
