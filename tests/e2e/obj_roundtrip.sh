#!/usr/bin/env bash
# A model compiled by iffc, ripped into a fresh home folder and exported to OBJ must be read
# back by an OBJ reader that shares no code with us (Debian's assimp) with the counts of the
# record files. Two models: a pyramid written here (known counts and bounding box) and the
# demo house the build compiles.
#   obj_roundtrip.sh BIN_DIR SOURCE_DIR
# Exit 77 (skipped) when assimp is not installed; scripts/install-deps.sh installs it.
set -euo pipefail

bin=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
cli="$bin/tessavor-cli"
iffc="$bin/iffc"

if ! command -v assimp >/dev/null 2>&1; then
  echo "assimp (package assimp-utils) is not installed: skipped" >&2
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_eq WHAT EXPECTED ACTUAL
expect_eq() {
  if [ "$2" != "$3" ]; then fail "$1: expected '$2', got '$3'"; else echo "ok: $1 = $3"; fi
}

# The value of a "Name:   value" line of `assimp info` (the bounding box lines have no colon).
info_field() { sed -n "s/^$1:\{0,1\}[[:space:]]*//p" | head -n 1 | tr -d '\r'; }

# compile SCRIPT_NAME: compiles $work/SCRIPT_NAME with iffc, beside which the IFF appears.
compile() {
  if ! (cd "$work" && "$iffc" "$1" >"$work/iffc.log" 2>&1); then
    cat "$work/iffc.log" >&2
    fail "iffc $1"
    return 1
  fi
}

# roundtrip NAME MODEL: rips MODEL into a home folder of its own, exports NAME.obj and
# reads it back raw (no triangulation, no merging: one reader vertex per face corner) and
# triangulated. Sets the globals rec_* (record counts) and raw_*/tri_faces.
roundtrip() {
  local name=$1 model=$2
  export TESSAVOR_HOME="$work/home-$name"
  mkdir -p "$TESSAVOR_HOME"
  "$cli" rip "$model" >"$work/rip.log" 2>&1 || { cat "$work/rip.log" >&2; fail "rip $model"; return 1; }
  local counts
  counts=$("$cli" info | sed -n 's/^VERT \([0-9]*\), VTNM \([0-9]*\), FVRT \([0-9]*\), FACE \([0-9]*\)$/\1 \2 \3 \4/p')
  read -r rec_vert rec_vtnm rec_fvrt rec_face <<<"$counts"
  "$cli" export-obj "$work/$name.obj" >/dev/null || { fail "export-obj $name"; return 1; }
  assimp info "$work/$name.obj" --raw >"$work/$name.raw.txt" 2>&1 || { cat "$work/$name.raw.txt" >&2; fail "assimp info --raw $name"; return 1; }
  assimp info "$work/$name.obj" >"$work/$name.tri.txt" 2>&1 || { cat "$work/$name.tri.txt" >&2; fail "assimp info $name"; return 1; }
  raw_vertices=$(info_field Vertices <"$work/$name.raw.txt")
  raw_faces=$(info_field Faces <"$work/$name.raw.txt")
  tri_min=$(info_field "Minimum point" <"$work/$name.tri.txt")
  tri_max=$(info_field "Maximum point" <"$work/$name.tri.txt")
  tri_faces=$(info_field Faces <"$work/$name.tri.txt")
}

# --- A pyramid: square base (one quad) and four triangular sides. -----------------------
cat >"$work/pyramid.iff.txt" <<'SCRIPT'
IFF "pyramid.iff"
{
FORM MESH
{
FORM 0001
{
CHUNK NAME
{
CSTRING "pyramid"
}
CHUNK VERT
{
FLOAT [3] -1.0 0.0 -1.0
FLOAT [3] 1.0 0.0 -1.0
FLOAT [3] 1.0 0.0 1.0
FLOAT [3] -1.0 0.0 1.0
FLOAT [3] 0.0 2.0 0.0
}
CHUNK VTNM
{
FLOAT [3] 0.0 -1.0 0.0
FLOAT [3] 0.0 0.447214 -0.894427
FLOAT [3] 0.894427 0.447214 0.0
FLOAT [3] 0.0 0.447214 0.894427
FLOAT [3] -0.894427 0.447214 0.0
}
CHUNK FVRT
{
LONG [2] 0 0
FLOAT [2] 0.0 0.0
LONG [2] 1 0
FLOAT [2] 1.0 0.0
LONG [2] 2 0
FLOAT [2] 1.0 1.0
LONG [2] 3 0
FLOAT [2] 0.0 1.0
LONG [2] 0 1
FLOAT [2] 0.0 0.0
LONG [2] 4 1
FLOAT [2] 0.5 1.0
LONG [2] 1 1
FLOAT [2] 1.0 0.0
LONG [2] 1 2
FLOAT [2] 0.0 0.0
LONG [2] 4 2
FLOAT [2] 0.5 1.0
LONG [2] 2 2
FLOAT [2] 1.0 0.0
LONG [2] 2 3
FLOAT [2] 0.0 0.0
LONG [2] 4 3
FLOAT [2] 0.5 1.0
LONG [2] 3 3
FLOAT [2] 1.0 0.0
LONG [2] 3 4
FLOAT [2] 0.0 0.0
LONG [2] 4 4
FLOAT [2] 0.5 1.0
LONG [2] 0 4
FLOAT [2] 1.0 0.0
}
CHUNK FACE
{
LONG 0
FLOAT 0.0
LONG [5] 2001 0 4 0 0
LONG 1
FLOAT -0.894427
LONG [5] 2001 4 3 0 0
LONG 2
FLOAT -0.894427
LONG [5] 2001 7 3 0 0
LONG 3
FLOAT -0.894427
LONG [5] 2001 10 3 0 0
LONG 4
FLOAT -0.894427
LONG [5] 2001 13 3 0 0
}
CHUNK RADI
{
FLOAT 2.0
}
}
}
}
SCRIPT

if compile pyramid.iff.txt && roundtrip pyramid "$work/pyramid.iff"; then
  expect_eq "pyramid record counts (VERT VTNM FVRT FACE)" "5 5 16 5" "$rec_vert $rec_vtnm $rec_fvrt $rec_face"
  expect_eq "pyramid: reader's corners" 16 "$raw_vertices"
  expect_eq "pyramid: reader's faces" 5 "$raw_faces"
  expect_eq "pyramid: reader's triangles (quad split in two)" 6 "$tri_faces"
  expect_eq "pyramid: reader's minimum point" "(-1.000000 0.000000 -1.000000)" "$tri_min"
  expect_eq "pyramid: reader's maximum point" "(1.000000 2.000000 1.000000)" "$tri_max"
fi

# --- The demo house, compiled from its script as the build does. ------------------------
cp "$src/data/demo/demo.iff.txt" "$work/demo.iff.txt"
if compile demo.iff.txt && roundtrip demo "$work/demo.iff"; then
  # Every FVRT of the house belongs to exactly one face, so the reader's corners are the
  # FVRT records, and a face of n corners becomes n - 2 triangles.
  [ "$rec_face" -gt 0 ] || fail "demo: no faces ripped"
  expect_eq "demo: reader's corners = FVRT records" "$rec_fvrt" "$raw_vertices"
  expect_eq "demo: reader's faces = FACE records" "$rec_face" "$raw_faces"
  expect_eq "demo: reader's triangles = FVRT - 2 FACE" "$((rec_fvrt - 2 * rec_face))" "$tri_faces"
  expect_eq "demo: v lines = VERT records" "$rec_vert" "$(grep -c '^v ' "$work/demo.obj")"
  expect_eq "demo: vn lines = VTNM records" "$rec_vtnm" "$(grep -c '^vn ' "$work/demo.obj")"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
