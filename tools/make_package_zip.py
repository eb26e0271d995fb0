#!/usr/bin/env python3
"""Packs one folder of packages/ into the zip that goes into the program's resources.

Entry order: when the folder holds a file named ".order", its lines name the entries first, in that
order (a name ending in "/" is a folder entry; lines for missing files are ignored). Everything else
follows by the default rule: each sub-folder as a folder entry of size 0 followed by its files, then
the top-level files; names sorted case-insensitively. Files are deflated; names use "/".

--substitute KEY=VALUE replaces KEY in every .ini file (UTF-16LE with BOM or 8-bit text) before
packing, which is how the build options put the hosts into the addresses.

--url-key KEY=VALUE appends the line KEY=VALUE to every "UrlInfo.ini" (nothing when VALUE is empty);
--url-key-digest KEY=PATH appends KEY= the lower-case hexadecimal SHA-256 of the file PATH. This is how
the expected digest of the full installer reaches the pack.
"""
import argparse
import hashlib
import os
import sys
import zipfile

FIXED_TIME = (2024, 1, 1, 0, 0, 0)  # reproducible archives
SKIPPED = {".order", "README.md", ".gitkeep"}


def default_order(root):
    entries = []
    top_files = []
    for name in sorted(os.listdir(root), key=str.lower):
        path = os.path.join(root, name)
        if name in SKIPPED or name.startswith("."):
            continue
        if os.path.isdir(path):
            entries.append(name + "/")
            for sub_root, dirs, files in os.walk(path):
                dirs.sort(key=str.lower)
                rel = os.path.relpath(sub_root, root).replace(os.sep, "/")
                if rel != name:
                    entries.append(rel + "/")
                for f in sorted(files, key=str.lower):
                    if f not in SKIPPED:
                        entries.append(rel + "/" + f)
        else:
            top_files.append(name)
    return entries + top_files


def entry_order(root):
    listed = []
    order_file = os.path.join(root, ".order")
    if os.path.exists(order_file):
        with open(order_file, encoding="utf-8") as f:
            for line in f:
                name = line.strip()
                if not name or name.startswith("#"):
                    continue
                path = os.path.join(root, name.rstrip("/"))
                if os.path.exists(path) and name not in listed:
                    listed.append(name)
    rest = [e for e in default_order(root) if e not in listed]
    return listed + rest


def substitute(name, data, pairs):
    if not pairs or not name.lower().endswith(".ini"):
        return data
    if data.startswith(b"\xff\xfe"):
        text = data[2:].decode("utf-16-le")
        for key, value in pairs:
            text = text.replace(key, value)
        return b"\xff\xfe" + text.encode("utf-16-le")
    text = data.decode("latin-1")
    for key, value in pairs:
        text = text.replace(key, value)
    return text.encode("latin-1")


def append_lines(name, data, lines):
    if not lines or os.path.basename(name).lower() != "urlinfo.ini":
        return data
    utf16 = data.startswith(b"\xff\xfe")
    text = data[2:].decode("utf-16-le") if utf16 else data.decode("latin-1")
    if text and not text.endswith("\n"):
        text += "\r\n"
    text += "".join(f"{key}={value}\r\n" for key, value in lines)
    return b"\xff\xfe" + text.encode("utf-16-le") if utf16 else text.encode("latin-1")


def file_sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            digest.update(chunk)
    return digest.hexdigest()


def parse_pairs(options, flag):
    pairs = []
    for s in options:
        key, sep, value = s.partition("=")
        if not sep:
            sys.exit(f"{flag} needs KEY=VALUE, got {s!r}")
        pairs.append((key, value))
    return pairs


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--substitute", action="append", default=[])
    parser.add_argument("--url-key", action="append", default=[])
    parser.add_argument("--url-key-digest", action="append", default=[])
    args = parser.parse_args()
    pairs = parse_pairs(args.substitute, "--substitute")
    lines = [(k, v) for k, v in parse_pairs(args.url_key, "--url-key") if v]
    lines += [(k, file_sha256(v)) for k, v in parse_pairs(args.url_key_digest, "--url-key-digest")]

    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    tmp = args.output + ".tmp"
    with zipfile.ZipFile(tmp, "w") as z:
        for name in entry_order(args.source):
            if name.endswith("/"):
                info = zipfile.ZipInfo(name, FIXED_TIME)
                info.external_attr = 0x10  # MS-DOS directory attribute
                z.writestr(info, b"", compress_type=zipfile.ZIP_STORED)
                continue
            with open(os.path.join(args.source, name), "rb") as f:
                data = append_lines(name, substitute(name, f.read(), pairs), lines)
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.external_attr = 0x20  # archive attribute
            z.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    os.replace(tmp, args.output)


if __name__ == "__main__":
    main()
