#!/usr/bin/env bash
# Times OBJ export of a full mesh as whole processes: tessavor-cli export-obj against
# assimp export (Debian's assimp-utils, installed here when missing) writing the same mesh.
# The mesh is a 181 x 181 grid with random heights imported from a generated ASC scene:
# 32,761 vertices and 10,920 triangles (32,760 corners).
# Usage: bench/compare_obj_export.sh [BIN_DIR]   (default: build/bin)
set -euo pipefail

bin=${1:-build/bin}
cli="$bin/tessavor-cli"
[ -x "$cli" ] || { echo "no $cli: build first (make build)" >&2; exit 2; }

if ! command -v assimp >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq assimp-utils >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TESSAVOR_HOME="$work/home"
mkdir -p "$TESSAVOR_HOME"

awk 'BEGIN {
  n = 181; srand(42);
  print "Named object: \"Grid\""; print "Vertex list:";
  for (r = 0; r < n; r++) for (c = 0; c < n; c++)
    printf "Vertex %d:  X:%d Y:%d Z:%.3f\n", r * n + c, c, r, rand() * 2;
  print "Face list:"; f = 0;
  for (r = 0; r + 1 < n && f < 10920; r++) for (c = 0; c + 1 < n && f < 10920; c += 2) {
    printf "Face %d:    A:%d B:%d C:%d AB:1 BC:1 CA:1\nSmoothing:  1\n", f++, r * n + c, r * n + c + 1, (r + 1) * n + c;
  }
  print "end";
}' > "$work/grid.asc"

"$cli" import-asc "$work/grid.asc" >/dev/null
"$cli" calc-vtnm >/dev/null

# Five runs of each, alternating; the medians are compared.
now() { date +%s.%N; }
median() { sort -n | sed -n 3p; }
ours=(); theirs=()
for i in 1 2 3 4 5; do
  t0=$(now); "$cli" export-obj "$work/ours.obj" >/dev/null; t1=$(now)
  assimp export "$work/ours.obj" "$work/theirs.obj" >/dev/null; t2=$(now)
  ours+=("$(echo "$t1 - $t0" | bc -l)")
  theirs+=("$(echo "$t2 - $t1" | bc -l)")
done
o=$(printf '%s\n' "${ours[@]}" | median)
t=$(printf '%s\n' "${theirs[@]}" | median)
printf "tessavor-cli export-obj: %.3f s (median of 5)\nassimp export:           %.3f s (median of 5)\nratio:                   %.1fx\n" \
  "$o" "$t" "$(echo "$t / $o" | bc -l)"
