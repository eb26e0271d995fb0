#!/usr/bin/env bash
# make lint: the tree's habits (tools/check-layers.py: no include cycle between folders, no file over
# 600 lines, nothing but the entry point in src/ itself; every C++ file formatted as .clang-format
# says) and cppcheck's checks that find real faults
# (errors, warnings, portability and performance) in the program's own sources. Exits non-zero on any
# finding. A finding the analyser gets wrong is suppressed where it stands, with the reason beside it
# (// cppcheck-suppress ID).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
python3 tools/check-layers.py
# Formatting: .clang-format; `make format` applies it.
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
cppcheck --quiet --error-exitcode=1 --std=c++17 --language=c++ --library=windows \
  --enable=warning,portability,performance --inline-suppr --suppress=missingIncludeSystem \
  -D_WIN32 -DWIN32 -DUNICODE -D_UNICODE -I src \
  src tools/httpget tools/textfit tools/bench
echo "lint: no findings"
