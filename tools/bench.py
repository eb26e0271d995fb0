#!/usr/bin/env python3
"""Download benchmark on loopback: httpget.exe (our engine, 5 ranges, under Wine) against curl (one
connection), aria2c (5 connections) and winhttp_loop.exe (the least WinHTTP code that fetches 5 ranges,
under Wine), for a 256 MiB file served as fast as nginx can and a 64 MiB file served at 4 MiB/s per
connection. Prints medians, CPU seconds per GiB and the ratios the engine is held to, and checks every
output byte for byte. Then the uneven case: a 64 MiB file whose first range comes at 1 MiB/s and every
other request at 4 MiB/s (17 MiB/s in all over five connections), fetched by httpget with and without
splitting, each finishing time set against the ideal, bytes / total bandwidth. Last, the digest that
follows the download: httpget --sha256 on 16 and 50 MiB files, and how long after the last byte the
digest was ready.

usage: bench.py BUILD_DIR [RUNS]     (RUNS defaults to 5)
"""

import hashlib
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
MB = 1e6
GIB = 1 << 30
CA = os.path.join(os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")), "setup-test-ca", "ca.crt")

CASES = [
    # name, file, size, URL path (nginx), what the engine is held to
    ("unlimited", "b256.bin", 256 << 20, "bench/b256.bin"),
    ("4 MiB/s per connection", "s64.bin", 64 << 20, "slow/bench/s64.bin"),
]


def die(message):
    sys.exit("bench: " + message)


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def make_file(path, size):
    if os.path.isfile(path) and os.path.getsize(path) == size:
        return
    with open(path, "wb") as out:
        left = size
        while left:
            block = os.urandom(min(left, 8 << 20))
            out.write(block)
            left -= len(block)


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(8 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def wineserver_pid(prefix):
    """The wineserver serving `prefix`: its working folder is /tmp/.wine-UID/server-DEV-INODE."""
    st = os.stat(prefix)
    wanted = "server-%x-%x" % (st.st_dev, st.st_ino)
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.readlink("/proc/%s/cwd" % pid).endswith(wanted):
                with open("/proc/%s/comm" % pid) as f:
                    if f.read().strip().startswith("wineserver"):
                        return int(pid)
        except OSError:
            continue
    return None


def process_cpu(pid):
    if pid is None:
        return 0.0
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except OSError:
        return 0.0


def own_seconds(output, wall):
    """The client's own timing ("seconds=S" or curl's time_total), which leaves out process start-up
    (for the Wine clients, Wine's own start); the wall time when it reports none."""
    for token in reversed(output.split()):
        if token.startswith("seconds="):
            return float(token[len("seconds="):])
        if token.startswith("time_total="):
            return float(token[len("time_total="):])
    return wall


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


class Client:
    def __init__(self, name, under_wine, command):
        self.name = name
        self.under_wine = under_wine
        self.command = command  # (url_path, output) -> argv

    def run(self, url_path, output, server_pid):
        argv = self.command(url_path, output)
        cpu0, server0 = children_cpu(), process_cpu(server_pid) if self.under_wine else 0.0
        # Output goes to a file, not a pipe: Wine's helper processes (started on first network use and
        # idling on for a few seconds) inherit the descriptors and would hold a pipe open past the
        # client's own exit.
        with tempfile.TemporaryFile(mode="w+") as log:
            start = time.perf_counter()
            returncode = subprocess.run(argv, stdout=log, stderr=subprocess.STDOUT).returncode
            seconds = time.perf_counter() - start
            log.seek(0)
            output = log.read()
        cpu = children_cpu() - cpu0
        if self.under_wine:
            cpu += process_cpu(server_pid) - server0
        if returncode != 0:
            die("%s failed (%d):\n%s" % (self.name, returncode, output[-2000:]))
        return seconds, own_seconds(output, seconds), cpu


def clients(build):
    wine = os.path.join(ROOT, "tools", "wine-run.sh")
    httpget = os.path.join(build, "httpget.exe")
    loop = os.path.join(build, "winhttp_loop.exe")
    return [
        Client("httpget (5 ranges)", True,
               lambda p, out: [wine, httpget, "https://localhost/" + p, wine_path(out), "5"]),
        Client("winhttp loop (5 ranges)", True,
               lambda p, out: [wine, loop, "localhost", p, wine_path(out), "5"]),
        Client("curl (1 connection)", False,
               lambda p, out: ["curl", "-sS", "--fail", "-w", "time_total=%{time_total}", "--cacert", CA, "-o", out, "https://localhost/" + p]),
        # -k 1M lets aria2 really open 5 connections for a 64 MiB file (its default piece is 20 MiB).
        Client("aria2c -x5 -s5", False,
               lambda p, out: ["aria2c", "-q", "-x5", "-s5", "-k1M", "--ca-certificate=" + CA,
                               "--file-allocation=none", "--allow-overwrite=true", "--auto-file-renaming=false",
                               "-d", os.path.dirname(out), "-o", os.path.basename(out),
                               "https://localhost/" + p]),
    ]


def warm_up(www, outdir):
    """Wine starts helper processes on a program's first network use and ends them a few seconds
    after the last one; a tiny download first puts every Wine client in the same, warm, state."""
    make_file(os.path.join(www, "bench", "warm.bin"), 1)
    loop = os.path.join(os.path.dirname(outdir), "winhttp_loop.exe")
    subprocess.run([os.path.join(HERE, "wine-run.sh"), loop, "localhost", "bench/warm.bin",
                    wine_path(os.path.join(outdir, "warm.bin")), "1"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def measure(case, runners, www, outdir, runs, server_pid):
    name, file_name, size, url_path = case
    source = os.path.join(www, "bench", file_name)
    make_file(source, size)
    want = sha256(source)
    results = {c.name: [] for c in runners}
    for run in range(runs):
        order = runners if run % 2 == 0 else [runners[1], runners[0]] + runners[2:]
        for client in order:
            if client.under_wine:
                warm_up(www, outdir)
            out = os.path.join(outdir, "out.bin")
            if os.path.exists(out):
                os.remove(out)
            wall, own, cpu = client.run(url_path, out, server_pid)
            if os.path.getsize(out) != size or sha256(out) != want:
                die("%s wrote a file that differs from the served one (%s, run %d)" % (client.name, name, run + 1))
            results[client.name].append((wall, own, cpu))
            os.remove(out)
    return results


UNEVEN_SIZE = 64 << 20
UNEVEN_BANDWIDTH = (4 * 4 + 1) << 20  # bytes per second: four connections at 4 MiB/s, one at 1 MiB/s


def measure_uneven(build, www, outdir, runs, server_pid):
    """Median wall seconds of httpget on the uneven network, with and without splitting."""
    source = os.path.join(www, "bench", "u64.bin")
    make_file(source, UNEVEN_SIZE)
    want = sha256(source)
    wine = os.path.join(ROOT, "tools", "wine-run.sh")
    httpget = os.path.join(build, "httpget.exe")
    seconds = {}
    for label, flags in (("without splitting", ["--no-split"]), ("with splitting", [])):
        client = Client("httpget " + label, True,
                        lambda p, out, flags=flags: [wine, httpget] + flags + ["https://localhost/" + p, wine_path(out), "5"])
        samples = []
        for run in range(runs):
            warm_up(www, outdir)
            out = os.path.join(outdir, "out.bin")
            if os.path.exists(out):
                os.remove(out)
            wall, _, _ = client.run("uneven/bench/u64.bin", out, server_pid)
            if os.path.getsize(out) != UNEVEN_SIZE or sha256(out) != want:
                die("%s wrote a file that differs from the served one (uneven, run %d)" % (client.name, run + 1))
            os.remove(out)
            samples.append(wall)
        seconds[label] = statistics.median(samples)
    ideal = UNEVEN_SIZE / UNEVEN_BANDWIDTH
    print("\n== one connection four times slower: %d MiB, median of %d runs, ideal %.2f s (bytes / total bandwidth)"
          % (UNEVEN_SIZE >> 20, runs, ideal))
    for label, wall in seconds.items():
        print("  httpget %-20s %7.2f s   %5.2f x ideal" % (label, wall, wall / ideal))
    return seconds["with splitting"] / ideal


DIGEST_SIZES = (16 << 20, 50 << 20)


def measure_digest(build, www, outdir, runs, server_pid):
    """Median wall seconds and milliseconds from the last byte to the digest, per size."""
    wine = os.path.join(ROOT, "tools", "wine-run.sh")
    httpget = os.path.join(build, "httpget.exe")
    print("\n== digest as the file comes (httpget --sha256, 5 ranges), median of %d runs" % runs)
    print("%-10s %9s %9s %22s" % ("size", "wall s", "wall MB/s", "ms after the last byte"))
    for size in DIGEST_SIZES:
        name = "h%d.bin" % (size >> 20)
        source = os.path.join(www, "bench", name)
        make_file(source, size)
        want = sha256(source)
        walls, lags = [], []
        for run in range(runs):
            warm_up(www, outdir)
            out = os.path.join(outdir, "out.bin")
            if os.path.exists(out):
                os.remove(out)
            argv = [wine, httpget, "--sha256", "https://localhost/bench/" + name, wine_path(out), "5"]
            with tempfile.TemporaryFile(mode="w+") as log:
                start = time.perf_counter()
                code = subprocess.run(argv, stdout=log, stderr=subprocess.STDOUT).returncode
                walls.append(time.perf_counter() - start)
                log.seek(0)
                text = log.read()
            if code != 0 or "sha256=" + want not in text or sha256(out) != want:
                die("httpget --sha256 wrote or hashed %s wrongly (run %d):\n%s" % (name, run + 1, text[-2000:]))
            lags.append(float(text.split("after_last_byte_ms=")[1].split()[0]))
            os.remove(out)
        wall = statistics.median(walls)
        print("%-10s %9.3f %9.1f %22.0f" % ("%d MiB" % (size >> 20), wall, size / wall / MB, statistics.median(lags)))


def summarize(case, results, runs):
    name, _, size, _ = case
    print("\n== %s: %d MiB, median of %d runs, every output checked byte for byte" % (name, size >> 20, runs))
    print("%-26s %9s %9s %11s %11s %13s" % ("client", "wall s", "wall MB/s", "own-time s", "own MB/s",
                                           "CPU s per GiB"))
    table = {}
    for client, samples in results.items():
        wall = statistics.median(w for w, _, _ in samples)
        own = statistics.median(o for _, o, _ in samples)
        cpu = statistics.median(c for _, _, c in samples) * GIB / size
        table[client] = (size / wall / MB, size / own / MB, cpu)
        print("%-26s %9.3f %9.1f %11.3f %11.1f %13.2f" % (client, wall, size / wall / MB, own, size / own / MB, cpu))
    return table


def main():
    if len(sys.argv) < 2:
        die(__doc__)
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    for tool in ("curl", "aria2c", "nginx"):
        if not shutil.which(tool):
            die(tool + " is missing: run tools/install-deps.sh")
    servers = os.path.join(build, "servers")
    prefix = os.environ.get("WINEPREFIX", os.path.join(build, "wineprefix"))
    env_note = "WINEPREFIX=%s" % prefix
    os.environ["WINEPREFIX"] = prefix
    subprocess.run([os.path.join(HERE, "test-servers.sh"), "start", servers], check=True)
    subprocess.run([os.path.join(HERE, "wine-session.sh"), "start"], check=True)
    try:
        www = os.path.join(servers, "www")
        os.makedirs(os.path.join(www, "bench"), exist_ok=True)
        outdir = os.path.join(build, "bench-out")
        os.makedirs(outdir, exist_ok=True)
        server_pid = wineserver_pid(prefix)
        runners = clients(build)
        print("bench: nginx on loopback (HTTPS), %s, wineserver pid %s (its CPU is counted for the Wine clients)"
              % (env_note, server_pid))
        tables = [summarize(case, measure(case, runners, www, outdir, runs, server_pid), runs) for case in CASES]
        uneven = measure_uneven(build, www, outdir, min(runs, 3), server_pid)
        measure_digest(build, www, outdir, runs, server_pid)
    finally:
        subprocess.run([os.path.join(HERE, "wine-session.sh"), "stop"])
        subprocess.run([os.path.join(HERE, "test-servers.sh"), "stop", servers])
    fast, slow = tables
    hg, loop, curl, aria = (c.name for c in runners)
    print("\n== ratios (wall clock; own timing in brackets)")

    def ratio(table, a, b, column):
        return table[a][column] / table[b][column]

    def line(label, table, a, b, target=None, column=0):
        value = ratio(table, a, b, column)
        text = "  %-50s %6.2f" % (label, value)
        if column == 0:
            text += " [%5.2f]" % ratio(table, a, b, 1)
        if target is None:
            print(text)
            return True
        met = value >= target if target > 0 else value <= -target
        print(text + "  target %s %.2f: %s" % (">=" if target > 0 else "<=", abs(target), "met" if met else "MISSED"))
        return met

    ok = line("unlimited: httpget / winhttp loop throughput", fast, hg, loop, 0.95)
    ok &= line("unlimited: httpget / winhttp loop CPU per GiB", fast, hg, loop, -1.10, column=2)
    line("unlimited: httpget / curl throughput", fast, hg, curl)
    line("unlimited: httpget / aria2c throughput", fast, hg, aria)
    line("unlimited: winhttp loop / curl throughput", fast, loop, curl)
    ok &= line("4 MiB/s per connection: httpget / curl throughput", slow, hg, curl, 4.75)
    line("4 MiB/s per connection: winhttp loop / curl", slow, loop, curl)
    line("4 MiB/s per connection: aria2c / curl", slow, aria, curl)
    met = uneven <= 1.15
    print("  %-50s %6.2f  target <= 1.15: %s" % ("uneven: httpget with splitting / ideal", uneven,
                                                 "met" if met else "MISSED"))
    return 0 if ok and met else 1


if __name__ == "__main__":
    sys.exit(main())
