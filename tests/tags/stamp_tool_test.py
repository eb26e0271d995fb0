#!/usr/bin/env python3
"""The stamping tool on real files: the loopback installer signed by the test publisher at build time."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ["SETUP_SOURCE_DIR"]
TOOL = os.path.join(SOURCE, "tools", "stamp-site-tag.py")
SIGNED = os.path.join(os.environ["SETUP_TAGS_DIR"], "setup-signed.exe")
UNSIGNED = os.environ["SETUP_UNSIGNED"]
ROOT_CA = os.path.join(os.environ["SETUP_TEST_SIGNING_DIR"], "root.crt")


def run(*args):
    return subprocess.run([sys.executable, TOOL, *args], capture_output=True, text=True)


def certificate_table(path):
    """(directory offset, directory size, WIN_CERTIFICATE dwLength, the table's bytes, file size)"""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
    offset, size = struct.unpack_from("<II", data, directories + 32)
    length = struct.unpack_from("<I", data, offset)[0]
    return offset, size, length, data[offset:offset + size], len(data)


def der_end(blob):
    """Where the DER element at the start of blob ends."""
    first = blob[1]
    if first < 0x80:
        return 2 + first
    count = first & 0x7F
    return 2 + count + int.from_bytes(blob[2:2 + count], "big")


class StampTool(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="stamp-tool-")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def verify(self, path):
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", ROOT_CA, "-in", path],
                                capture_output=True, text=True)
        return result.returncode == 0 and "MISMATCH" not in result.stdout, result.stdout + result.stderr

    def read_tag(self, path):
        result = run("--read", path)
        return result.stdout.strip() if result.returncode == 0 else None

    def test_stamped_file_keeps_a_valid_signature_in_the_strict_shape(self):
        out = self.path("french.exe")
        result = run(SIGNED, "com_french", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        ok, report = self.verify(out)
        self.assertTrue(ok, report)
        self.assertEqual(self.read_tag(out), "com_french")
        # What the strict padding check accepts: one entry ending the file, its DER blob followed by
        # fewer than 8 zero bytes, the directory's size equal to the entry's length, 8-byte aligned.
        offset, size, length, table, file_size = certificate_table(out)
        self.assertEqual(offset + size, file_size)
        self.assertEqual(size, length)
        self.assertEqual(length % 8, 0)
        blob = table[8:length]
        tail = blob[der_end(blob):]
        self.assertLess(len(tail), 8)
        self.assertEqual(tail, bytes(len(tail)))

    def test_the_last_stamp_wins_and_the_file_does_not_grow(self):
        out = self.path("twice.exe")
        self.assertEqual(run(SIGNED, "com_english", out).returncode, 0)
        once = os.path.getsize(out)
        for tag in ("com_french", "a" * 64, "com_english", "x", "com_english"):
            self.assertEqual(run(out, tag).returncode, 0)  # in place
            self.assertEqual(self.read_tag(out), tag)
        self.assertEqual(os.path.getsize(out), once)
        ok, report = self.verify(out)
        self.assertTrue(ok, report)

    def test_refuses_tags_outside_the_rules(self):
        for tag in ("", "com french", "a" * 65, "com/french", "caf\u00e9", "tag\n"):
            out = self.path("bad.exe")
            result = run(SIGNED, tag, out)
            self.assertNotEqual(result.returncode, 0, tag)
            self.assertIn("invalid tag", result.stderr)
            self.assertFalse(os.path.exists(out), tag)

    def test_refuses_an_unsigned_file(self):
        result = run(UNSIGNED, "com_french", self.path("out.exe"))
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("not signed", result.stderr)
        self.assertFalse(os.path.exists(self.path("out.exe")))

    def test_refuses_malformed_signatures_and_leaves_the_file_alone(self):
        with open(SIGNED, "rb") as f:
            data = bytearray(f.read())
        offset, size, length, _, _ = certificate_table(SIGNED)
        cases = {}
        garbage_length = bytearray(data)
        garbage_length[offset + 9:offset + 12] = b"\x84\xff\xff"  # the ContentInfo's length
        cases["garbage length"] = garbage_length
        cases["cut inside the table"] = data[:offset + size // 2]
        trailing = bytearray(data) + b"\x55" * 8  # bytes after the signature that are not padding
        struct.pack_into("<I", trailing, offset, length + 8)
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        directories = pe + 24 + (96 if struct.unpack_from("<H", data, pe + 24)[0] == 0x10B else 112)
        struct.pack_into("<I", trailing, directories + 36, size + 8)
        cases["data after the signature"] = trailing
        for name, content in cases.items():
            source = self.path("damaged.exe")
            with open(source, "wb") as f:
                f.write(content)
            result = run(source, "com_french")
            self.assertNotEqual(result.returncode, 0, name)
            self.assertIn("malformed", result.stderr, name)
            with open(source, "rb") as f:
                self.assertEqual(f.read(), bytes(content), name)


if __name__ == "__main__":
    unittest.main(verbosity=2)
