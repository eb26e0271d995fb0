#!/usr/bin/env python3
"""Checks the habits the source tree keeps:
  - no include cycle between folders of src/ (a folder is its path under src/, e.g. download or
    toolkit/core; an include is written from src/, so its folder is the include's directory);
  - no .cpp or .h file in src/, tests/ or tools/ over 600 lines;
  - no .cpp or .h directly in src/ but the entry point.
Prints every finding and exits 1 when there is one.

usage: check-layers.py [ROOT]      (ROOT defaults to the repository holding this script)
"""

import os
import re
import sys

MAX_LINES = 600
ENTRY_POINT = "Setup.cpp"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources(root, top):
    for folder, _, names in os.walk(os.path.join(root, top)):
        for name in names:
            if name.endswith((".cpp", ".h")):
                yield os.path.join(folder, name)


def folder_graph(src):
    graph = {}
    for path in sources(src, "."):
        here = os.path.dirname(os.path.relpath(path, src))
        with open(path, encoding="utf-8", errors="replace") as f:
            for target in INCLUDE.findall(f.read()):
                there = os.path.dirname(target)
                if here and there and there != here and os.path.isdir(os.path.join(src, there)):
                    graph.setdefault(here, set()).add(there)
    return graph


def cycles(graph):
    """The strongly connected components with more than one folder (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for nxt in graph.get(node, ()):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            component = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                component.append(top)
                if top == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    src = os.path.join(root, "src")
    problems = []
    for component in cycles(folder_graph(src)):
        problems.append("include cycle between folders: " + " <-> ".join(component))
    for top in ("src", "tests", "tools"):
        for path in sources(root, top):
            with open(path, encoding="utf-8", errors="replace") as f:
                count = sum(1 for _ in f)
            if count > MAX_LINES:
                problems.append("%s: %d lines (at most %d)" % (os.path.relpath(path, root), count, MAX_LINES))
    for name in sorted(os.listdir(src)):
        if name.endswith((".cpp", ".h")) and name != ENTRY_POINT:
            problems.append("src/%s: only the entry point lives in src/ itself" % name)
    for problem in problems:
        print(problem)
    print("check-layers: %d problem(s)" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
