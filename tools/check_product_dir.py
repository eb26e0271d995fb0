#!/usr/bin/env python3
"""Checks that a product folder (the layout of packages/) holds everything the installer is built from.

    check_product_dir.py DIR [KEY...]

Prints one line per problem to standard error and exits with 1 when something is missing, so that
the build stops at configure time naming it instead of packing a pack that fails on the user's
machine. On success prints KEY=VALUE for each KEY asked for from productInfo.ini's [PRODUCT] section.

What it wants: language/productInfo.ini naming the product and its executable; language/language.ini,
and for every folder it names plus English (what any other interface language falls back to) that
folder with text.ini and a UrlInfo.ini holding a download address; skin/main.xml, skin/main_rtl.xml
when a right-to-left language is named, every markup file they include and every picture under img/
the markup names; domain.txt shorter than 255 bytes.
"""
import os
import re
import sys

FALLBACK_LANGUAGE = "English"
RIGHT_TO_LEFT_LANGUAGES = {"Arabic"}
DOMAIN_LIMIT = 255


def read_text(path):
    """An ini or markup file as text: UTF-16LE with a byte-order mark, UTF-8, or 8-bit."""
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le", errors="replace")
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("latin-1")


def ini_section(path, section):
    """The KEY=VALUE pairs of one section, blanks around "=" trimmed as the profile readers do."""
    values, current = {}, None
    for line in read_text(path).splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1].strip().lower()
        elif current == section.lower() and "=" in line:
            key, _, value = line.partition("=")
            values.setdefault(key.strip(), value.strip())
    return values


class Check:
    def __init__(self, root):
        self.root = root
        self.problems = []

    def path(self, relative):
        return os.path.join(self.root, *relative.split("/"))

    def need_file(self, relative, why=""):
        if os.path.isfile(self.path(relative)):
            return True
        self.problems.append(f"missing {relative}{' (' + why + ')' if why else ''}")
        return False

    def product(self, keys):
        if not self.need_file("language/productInfo.ini"):
            return {}
        product = ini_section(self.path("language/productInfo.ini"), "PRODUCT")
        for key in ("STR_PRODUCT_NAME", "STR_EXE_NAME"):
            if not product.get(key):
                self.problems.append(f"language/productInfo.ini: [PRODUCT] has no {key}")
        return {key: product.get(key, "") for key in keys}

    def languages(self):
        named = []
        if self.need_file("language/language.ini"):
            named = [f for f in ini_section(self.path("language/language.ini"), "Language").values() if f]
        for folder in dict.fromkeys(named + [FALLBACK_LANGUAGE]):
            why = ("every other interface language falls back to it" if folder == FALLBACK_LANGUAGE
                   else "language.ini names " + folder)
            self.need_file(f"language/{folder}/text.ini", why)
            if self.need_file(f"language/{folder}/UrlInfo.ini", why):
                urls = ini_section(self.path(f"language/{folder}/UrlInfo.ini"), "URL")
                if not urls.get("STR_DOWN_URL") and not urls.get("STR_DOWN_URL_X64"):
                    self.problems.append(f"language/{folder}/UrlInfo.ini: [URL] has no STR_DOWN_URL")
        return named

    def skin(self, languages):
        markup = ["main.xml"]
        if RIGHT_TO_LEFT_LANGUAGES & set(languages):
            markup.append("main_rtl.xml")
        seen = set()
        while markup:
            name = markup.pop(0)
            if name in seen:
                continue
            seen.add(name)
            if not self.need_file(f"skin/{name}", "" if name.startswith("main") else "included by the skin"):
                continue
            text = read_text(self.path(f"skin/{name}"))
            markup += re.findall(r'<Include\s+source="([^"]+)"', text)
            for picture in sorted(set(re.findall(r"img[\\/]([\w.-]+\.(?:png|jpg|bmp|gif))", text, re.I))):
                self.need_file(f"skin/img/{picture}", f"skin/{name} names it")

    def domain(self):
        if self.need_file("domain.txt", "the site tag; it may be empty"):
            size = os.path.getsize(self.path("domain.txt"))
            if size >= DOMAIN_LIMIT:
                self.problems.append(f"domain.txt has {size} bytes; it must be shorter than {DOMAIN_LIMIT}")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    if not os.path.isdir(root):
        print(f"{root} is not a folder", file=sys.stderr)
        return 1
    check = Check(root)
    asked = check.product(sys.argv[2:])
    check.skin(check.languages())
    check.domain()
    for problem in check.problems:
        print(problem, file=sys.stderr)
    if check.problems:
        return 1
    for key, value in asked.items():
        print(f"{key}={value}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
