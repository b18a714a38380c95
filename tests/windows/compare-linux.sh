#!/usr/bin/env bash
# compare-linux.sh LINUX_BIN WINDOWS_BIN WINE_RUN WINE_PREFIX SOURCE_DIR
#
# Runs the same commands with the main build's programs and with the Windows programs
# (under wine, through WINE_RUN in WINE_PREFIX) in two scratch folders, and compares what
# they write byte for byte: iffc of the demo's script and of the mesh script, rip + check +
# write-back of the demo, scale 200, make-tree, MAT pictures to BMP, a TRE archive's list
# and extraction. The Windows programs get their paths as Windows users write them: drive
# letter and backslashes (wine's Z: is the root of this file system), and their home
# folder through TESSAVOR_HOME in the same form. Standard output is compared too, with each
# side's folder written as DIR and its separators as "/" (the one difference expected).
set -euo pipefail

lin_bin=$1
win_bin=$2
wine_run=$3
wine_prefix=$4
source_dir=$5

work=$(mktemp -d "${TMPDIR:-/tmp}/tessavor-wincmp.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lin/home" "$work/win/home"

# A path of this file system as a Windows program names it.
winpath() {
  local p=$1
  printf 'Z:%s' "${p//\//\\}"
}

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# lin NAME ARGS...: a program of the main build, in lin/, with lin/home as home.
lin() {
  local prog=$1
  shift
  (cd "$work/lin" && TESSAVOR_HOME="$work/lin/home" "$lin_bin/$prog" "$@")
}

# win NAME ARGS...: the Windows program, in win/, with win/home as home. Arguments that
# start with "@" are paths under win/ and are handed over in Windows form.
win() {
  local prog=$1
  shift
  local args=() a
  for a in "$@"; do
    if [[ $a == @* ]]; then args+=("$(winpath "$work/win/${a#@}")"); else args+=("$a"); fi
  done
  (cd "$work/win" && TESSAVOR_HOME="$(winpath "$work/win/home")" \
     "$wine_run" "$wine_prefix" "$win_bin/$prog.exe" "${args[@]}")
}

# same WHAT FILE...: each FILE (relative to lin/ and win/) must exist on both sides and
# have the same bytes.
same() {
  local what=$1 f
  shift
  for f in "$@"; do
    if [[ ! -f $work/lin/$f ]]; then
      fail "$what: the Linux build wrote no $f"
    elif [[ ! -f $work/win/$f ]]; then
      fail "$what: the Windows build wrote no $f"
    elif ! cmp -s "$work/lin/$f" "$work/win/$f"; then
      fail "$what: $f differs"
      cmp "$work/lin/$f" "$work/win/$f" | head -3 || true
    else
      echo "ok: $what: $f ($(stat -c %s "$work/lin/$f") bytes)"
    fi
  done
}

# same_text WHAT FILE...: like same, for program output that names the side's folder.
same_text() {
  local what=$1 f
  shift
  local win_dir
  win_dir=$(winpath "$work/win")
  for f in "$@"; do
    sed "s|$work/lin|DIR|g" "$work/lin/$f" | tr '\\' '/' >"$work/lin/$f.norm"
    sed "s|${win_dir//\\/\\\\}|DIR|g" "$work/win/$f" | tr '\\' '/' >"$work/win/$f.norm"
    same "$what" "$f.norm"
  done
}

# both STDOUT_NAME PROGRAM ARGS...: runs the command on both sides (an "@x" argument is
# the path x under each side's folder), keeping standard output in lin/STDOUT_NAME and
# win/STDOUT_NAME; a failure on either side is reported.
both() {
  local out=$1 prog=$2
  shift 2
  local lin_args=() a
  for a in "$@"; do
    if [[ $a == @* ]]; then lin_args+=("$work/lin/${a#@}"); else lin_args+=("$a"); fi
  done
  lin "$prog" "${lin_args[@]}" >"$work/lin/$out" 2>"$work/lin/$out.err" ||
    fail "Linux $prog $*: $(cat "$work/lin/$out.err")"
  win "$prog" "$@" >"$work/win/$out" 2>"$work/win/$out.err" ||
    fail "Windows $prog $*: $(cat "$work/win/$out.err")"
}

records=(home/vert.kvt home/vtnm.kvt home/fvrt.kvt home/face.kvt home/radi.kvt)
demo=$lin_bin/demo

# 1. iffc of the demo's own script (its output name is relative: beside the script).
for side in lin win; do cp "$source_dir/data/demo/demo.iff.txt" "$work/$side/demo.iff.txt"; done
both iffc-demo.out iffc @demo.iff.txt
same "iffc of the demo's script" demo.iff
cmp -s "$work/lin/demo.iff" "$demo/demo.iff" || fail "the demo compiled here differs from the build's"

# 2. rip, check, write-back of the demo.
both rip.out tessavor-cli rip @demo.iff
same "rip of the demo" "${records[@]}"
both check.out tessavor-cli check
same "check's report" check.out
both info.out tessavor-cli info
same_text "info" info.out
both lists.out tessavor-cli lists
same "lists" lists.out

# 3. scale 200, and the mesh script compiled as in "Getting started" (it reads the record
# files of the home folder by their "c:\" names and writes mesh.iff beside itself).
both scale.out tessavor-cli scale 200
same "scale 200" "${records[@]}" scale.out
both writeback.out tessavor-cli write-back @demo.iff @scaled.iff
same "write-back" scaled.iff
# The tree builder's library (libbsp.so, bsp.dll) writes the script, iffc compiles it.
both tree.out tessavor-cli make-tree @tree.iff
same "make-tree" tree.iff
# A mesh script whose data names are deeper than "C:\\": the real files, not the home folder.
for side in lin win; do cp "$lin_bin/kvt_mesh.txt" "$work/$side/kvt_mesh.txt"; done
both iffc-mesh.out iffc @kvt_mesh.txt
same "iffc of the mesh script" mesh.iff
same_text "iffc's messages" iffc-demo.out iffc-mesh.out

# 4. Pictures: MAT (plain and run-length) and the compressed texture to BMP, BMP to MAT.
for side in lin win; do cp "$demo"/00001001.mat "$demo"/00001002.gct "$work/$side/"; done
both img1.out tessavor-cli image convert @00001001.mat @a.bmp
both img2.out tessavor-cli image convert @00001001.mat @rle.mat --rle
both img3.out tessavor-cli image convert @rle.mat @b.bmp
both img4.out tessavor-cli image convert @00001002.gct @c.bmp
both img5.out tessavor-cli image convert @a.bmp @back.mat
same "MAT to BMP and back" a.bmp rle.mat b.bmp c.bmp back.mat

# 5. A TRE archive compiled from a script, listed and extracted.
for side in lin win; do
  mkdir -p "$work/$side/data"
  cat "$demo/demo.iff" "$demo/demo.iff" | head -c 3000 >"$work/$side/data/in.bin"
  printf 'TRE a.tre\n{\nTREFILE data\\in.bin\nTREFILE n.bin\nBLOCK data\\in.bin 3000\n{\nFILE.Z data\\in.bin\n}\nBLOCK n.bin\n{\nLONG 9\n}\n}\n' \
    >"$work/$side/tre.txt"
done
both iffc-tre.out iffc @tre.txt
same "iffc of a TRE script" a.tre
same_text "iffc's messages" iffc-tre.out
both tre-list.out tessavor-cli tre-list @a.tre
same_text "tre-list" tre-list.out
both tre-extract.out tessavor-cli tre-extract @a.tre @out
same "tre-extract" out/data/in.bin out/n.bin

if ((failures > 0)); then
  echo "$failures difference(s) between the Windows and the Linux programs"
  exit 1
fi
echo "The Windows programs wrote the Linux build's bytes in every case."
