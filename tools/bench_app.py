#!/usr/bin/env python3
"""The installer's own timings under Wine, each against a peer measured in the same run:
  start-up   process start to the first painted window: setup-bench.exe against minimal_window.exe
             (the least program that shows and paints a window of the same size);
  install    click on Install to the finish view with a 50 MiB full installer on loopback HTTPS
             (download, digest check, silent run): against httpget.exe (the download engine alone,
             5 ranges), httpget.exe --sha256 (the engine hashing as it downloads, as the installer
             does for its pinned digest) and curl (one connection, native) fetching the same file.
  prefetch   click 3 s after the window opened to the finish view, 64 MiB behind a link of 4 MiB/s per
             connection: setup-bench-slow.exe (the background download on) against
             setup-bench-slow-noprefetch.exe (off).
Phases come from the installer's own log (millisecond timestamps): space check, download engine,
digest, silent run. Prints medians and ratios.

usage: bench_app.py BUILD_DIR [RUNS]     (RUNS defaults to 5; the build needs the targets setup-bench,
                                          window_probe, minimal_window and httpget)
"""

import datetime
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
WINE = os.path.join(HERE, "wine-run.sh")
CA = os.path.join(os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")), "setup-test-ca", "ca.crt")
URL_PATH = "solvetta/brenmark-solvetta_setup_x64.exe"  # the loopback pack's address of the full installer
STAMP = re.compile(rb"^\s*(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,\d{3}) (.*)$")
PHASES = [  # log text that starts each phase
    ("click", b"OnClickInstall"),
    ("space checked", b"get disk size end"),
    ("engine done", b"HttpDownload,ret = 0"),
    ("downloaded", b"HttpDownloadEnd\xa3\xbaSuccess"),
    ("finish", b"InstallExeFinish"),
]


def die(message):
    sys.exit("bench_app: " + message)


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def run(argv, **kwargs):
    # Output through a file: Wine's helper processes inherit descriptors and would hold a pipe open.
    with tempfile.TemporaryFile(mode="w+") as out:
        code = subprocess.run(argv, stdout=out, stderr=subprocess.STDOUT, **kwargs).returncode
        out.seek(0)
        text = out.read()
    if code != 0:
        die("%s failed (%d):\n%s" % (os.path.basename(argv[1] if argv[0] == WINE else argv[0]), code, text[-2000:]))
    return text


def value(text, key):
    found = re.search(key + r"=([0-9.]+)", text)
    if not found:
        die("no %s in: %s" % (key, text))
    return float(found.group(1))


def program_files(prefix, exe):
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[60:64], "little")
    x64 = head[pe + 4:pe + 6] == b"\x64\x86"
    return os.path.join(prefix, "drive_c", "Program Files" if x64 else "Program Files (x86)")


def log_phases(log_path):
    times = {}
    with open(log_path, "rb") as f:
        for line in f:
            m = STAMP.match(line.rstrip(b"\r\n"))
            if not m:
                continue
            for name, text in PHASES:
                if name not in times and m.group(2).startswith(text):
                    times[name] = datetime.datetime.strptime(m.group(1).decode(), "%Y-%m-%d %H:%M:%S,%f")
    missing = [n for n, _ in PHASES if n not in times]
    if missing:
        die("the log lacks %s: %s" % (missing, log_path))
    ms = lambda a, b: (times[b] - times[a]).total_seconds() * 1000
    return {"click to finish": ms("click", "finish"), "space check": ms("click", "space checked"),
            "engine": ms("space checked", "engine done"), "digest": ms("engine done", "downloaded"),
            "after download": ms("downloaded", "finish")}


def first_paints(build, runs):
    bench, minimal = (os.path.join(build, n) for n in ("setup-bench.exe", "minimal_window.exe"))
    probe = os.path.join(build, "window_probe.exe")
    result = {"setup-bench.exe": [], "minimal_window.exe": []}
    for i in range(runs):
        for exe in ([bench, minimal] if i % 2 == 0 else [minimal, bench]):
            result[os.path.basename(exe)].append(value(run([WINE, probe, "paint", wine_path(exe)]), "first_paint_ms"))
    return result


def installs(build, prefix, www, runs):
    exe = os.path.join(build, "setup-bench.exe")
    payload = os.path.join(build, "packages", "SampleInstaller-50MiB.exe")
    target = os.path.join(www, URL_PATH)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copyfile(payload, target)
    pf = program_files(prefix, exe)
    log_dir = os.path.join(pf, "pelarin_down", "setup-bench", "Log")
    product = os.path.join(pf, "Brenmark Solvetta")
    probe = os.path.join(build, "window_probe.exe")
    httpget = os.path.join(build, "httpget.exe")
    out = os.path.join(build, "bench-out")
    os.makedirs(out, exist_ok=True)
    url = "https://localhost/" + URL_PATH
    env = dict(os.environ, SAMPLE_INSTALLER_STEP_MS="0")
    samples = {k: [] for k in ("click to finish", "space check", "engine", "digest", "after download", "httpget",
                               "httpget --sha256", "curl")}
    for _ in range(runs):
        shutil.rmtree(log_dir, ignore_errors=True)
        shutil.rmtree(product, ignore_errors=True)
        text = run([WINE, probe, "install", wine_path(exe), wine_path(os.path.join(log_dir, "pelarin_down.log")),
                    "241", "207"], env=env)
        if not os.path.isfile(os.path.join(product, "Solvetta.exe")):
            die("the product was not installed:\n" + text)
        for key, ms in log_phases(os.path.join(log_dir, "pelarin_down.log")).items():
            samples[key].append(ms)
        got = os.path.join(out, "engine.bin")
        samples["httpget"].append(1000 * value(run([WINE, httpget, url, wine_path(got), "5"]), "seconds"))
        if os.path.getsize(got) != os.path.getsize(payload):
            die("httpget fetched %d bytes" % os.path.getsize(got))
        samples["httpget --sha256"].append(1000 * value(run([WINE, httpget, "--sha256", url, wine_path(got), "5"]),
                                                        "seconds"))
        text = run(["curl", "-sS", "--fail", "-w", "time_total=%{time_total}", "--cacert", CA, "-o", got, url])
        samples["curl"].append(1000 * value(text, "time_total"))
        os.remove(got)
    shutil.rmtree(product, ignore_errors=True)
    return samples


def prefetched_installs(build, prefix, www, runs):
    """Click 3 s after the window opened, behind the slow link: with and without the prefetch."""
    payload = os.path.join(build, "packages", "SampleInstaller-64MiB.exe")
    target = os.path.join(www, URL_PATH)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copyfile(payload, target)
    probe = os.path.join(build, "window_probe.exe")
    env = dict(os.environ, SAMPLE_INSTALLER_STEP_MS="0")
    samples = {"setup-bench-slow.exe": [], "setup-bench-slow-noprefetch.exe": []}
    for i in range(runs):
        names = list(samples) if i % 2 == 0 else list(reversed(list(samples)))
        for name in names:
            exe = os.path.join(build, name)
            pf = program_files(prefix, exe)
            log_dir = os.path.join(pf, "pelarin_down", name[:-4], "Log")
            shutil.rmtree(log_dir, ignore_errors=True)
            shutil.rmtree(os.path.join(pf, "Brenmark Solvetta"), ignore_errors=True)
            text = run([WINE, probe, "install", wine_path(exe), wine_path(os.path.join(log_dir, "pelarin_down.log")),
                        "241", "207", "3000"], env=env)
            samples[name].append(value(text, "click_to_finish_ms"))
    return samples


def main():
    if len(sys.argv) < 2:
        die(__doc__)
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    for name in ("setup-bench.exe", "setup-bench-slow.exe", "setup-bench-slow-noprefetch.exe", "window_probe.exe",
                 "minimal_window.exe", "httpget.exe"):
        if not os.path.isfile(os.path.join(build, name)):
            die("%s is missing in %s (cmake --build %s --target %s)" % (name, build, build, name[:-4]))
    prefix = os.environ.setdefault("WINEPREFIX", os.path.join(build, "wineprefix"))
    servers = os.path.join(build, "servers")
    subprocess.run([os.path.join(HERE, "test-servers.sh"), "start", servers], check=True)
    subprocess.run([os.path.join(HERE, "wine-session.sh"), "start"], check=True)
    try:
        # As in the tests: on a bare Xvfb, windows Wine leaves to a (missing) window manager wait on close.
        for exe in ("setup-bench.exe", "setup-bench-slow.exe", "setup-bench-slow-noprefetch.exe", "minimal_window.exe"):
            run([WINE, "reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\%s\\X11 Driver" % exe,
                 "/v", "Managed", "/t", "REG_SZ", "/d", "N", "/f"])
        run([WINE, os.path.join(build, "window_probe.exe"), "paint", wine_path(os.path.join(build, "minimal_window.exe"))])
        paints = first_paints(build, runs)
        times = installs(build, prefix, os.path.join(servers, "www"), runs)
        prefetched = prefetched_installs(build, prefix, os.path.join(servers, "www"), runs)
    finally:
        subprocess.run([os.path.join(HERE, "wine-session.sh"), "stop"])
        subprocess.run([os.path.join(HERE, "test-servers.sh"), "stop", servers])

    med = {k: statistics.median(v) for k, v in list(paints.items()) + list(times.items())}
    print("\n== start-up: process start to first painted window, median of %d runs (ms)" % runs)
    for name in paints:
        print("  %-40s %8.1f   (%s)" % (name, med[name], ", ".join("%.0f" % x for x in paints[name])))
    print("  %-40s %8.2f" % ("ratio installer / minimal window", med["setup-bench.exe"] / med["minimal_window.exe"]))
    print("\n== install of a 50 MiB full installer on loopback HTTPS, median of %d runs (ms)" % runs)
    labels = [("click to finish", "installer: click on Install to finish view"),
              ("space check", "  space check (its size query, free space)"),
              ("engine", "  download engine (size query, 5 ranges)"),
              ("digest", "  SHA-256 of the downloaded file"),
              ("after download", "  silent run and finish view"),
              ("httpget", "httpget.exe, same file (engine alone)"),
              ("httpget --sha256", "httpget.exe --sha256 (engine hashing as it goes)"),
              ("curl", "curl, same file (native, 1 connection)")]
    for name, label in labels:
        print("  %-52s %8.1f   (%s)" % (label, med[name], ", ".join("%.0f" % x for x in times[name])))
    print("  %-52s %8.2f" % ("ratio engine inside the installer / httpget", med["engine"] / med["httpget"]))
    print("  %-52s %8.2f" % ("ratio installer click-to-finish / httpget", med["click to finish"] / med["httpget"]))
    print("  %-52s %8.2f" % ("ratio installer click-to-finish / httpget --sha256",
                             med["click to finish"] / med["httpget --sha256"]))
    print("  %-52s %8.2f" % ("ratio engine inside the installer / curl", med["engine"] / med["curl"]))
    print("\n== click 3 s after the window opened to finish view, 64 MiB at 4 MiB/s per connection, median of %d runs"
          " (ms)" % runs)
    pre = {k: statistics.median(v) for k, v in prefetched.items()}
    for name, label in (("setup-bench-slow.exe", "prefetch on"), ("setup-bench-slow-noprefetch.exe", "prefetch off")):
        print("  %-52s %8.1f   (%s)" % (label, pre[name], ", ".join("%.0f" % x for x in prefetched[name])))
    print("  %-52s %8.2f" % ("ratio prefetch on / off", pre["setup-bench-slow.exe"] / pre["setup-bench-slow-noprefetch.exe"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
