#!/usr/bin/env bash
# Fails when a C++ source tracked by git differs from what clang-format makes
# of it (the house style is .clang-format at the root).
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' '*.inc' 2>/dev/null || true)
[ -n "$files" ] || exit 0
bad=$(for f in $files; do clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || echo "$f"; done)
if [ -n "$bad" ]; then
    echo "Not in the house style (run clang-format -i on them):"
    echo "$bad"
    exit 1
fi
echo "format check: $(echo "$files" | wc -w) files in the house style"
