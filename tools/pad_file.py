#!/usr/bin/env python3
"""pad_file.py SOURCE TARGET SIZE: copies SOURCE to TARGET and extends it with zero bytes to SIZE bytes
(a Windows program runs unchanged with data after its image). The benchmark's large full installer."""
import shutil
import sys


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    source, target, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
    shutil.copyfile(source, target)
    with open(target, "r+b") as f:
        f.seek(0, 2)
        if f.tell() > size:
            sys.exit("pad_file: %s is already larger than %d bytes" % (source, size))
        f.truncate(size)


if __name__ == "__main__":
    main()
