#!/usr/bin/env bash
# make lint: the format check, then clang-tidy (the tree's .clang-tidy) on every product
# source of the build folder given, one process per core. Fails on any finding. The
# compiler's own warnings count too, as GCC sees them (clang's -Wconversion alone also
# warns on every signed/unsigned mix).
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:?build folder with compile_commands.json}
scripts/check-format.sh || exit 1
mapfile -t sources < <(python3 - "$build/compile_commands.json" <<'PY'
import json, os, sys
root = os.getcwd() + "/"
for entry in json.load(open(sys.argv[1])):
    path = os.path.realpath(entry["file"])
    rel = path[len(root):] if path.startswith(root) else None
    # Product code only: tests, fuzz targets, benchmarks and generated files are not linted.
    if rel and rel.split("/")[0] in ("util", "iff", "iffc", "mesh", "images", "interchange",
                                     "app", "viewers", "cli", "plugins", "dist"):
        print(rel)
PY
)
echo "lint: clang-tidy on ${#sources[@]} files"
printf '%s\n' "${sources[@]}" |
  xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet --extra-arg=-Wno-sign-conversion \
    2>/dev/null > "$build/lint.txt"
status=$?
grep -E "(warning|error):" "$build/lint.txt" | sort -u
[ $status -eq 0 ] && echo "lint: clean"
exit $status
