#!/usr/bin/env bash
# Times OBJ export of a full mesh as whole processes: tessavor-cli export-obj (the game's
# own OBJ flavour) and tessavor-cli export X.obj (our writer of what Assimp's OBJ writer
# gives, with its .mtl) against assimp export (Debian's assimp-utils, installed here when
# missing) reading the OBJ we wrote and writing it again as OBJ.
# The mesh fills every array: 32,769 vertices, normals, corners and faces (triangles over
# overlapping corner runs), random coordinates, written straight into a scratch home folder.
# Runs alternate (ours, theirs, ...) so that a change in the machine's load hits both; the
# medians and their ratio are printed, for wall-clock time and for CPU time (user + sys),
# which a busy shared machine disturbs less.
# Usage: bench/compare_obj_export.sh [BIN_DIR] [RUNS]   (defaults: build/bin, 9)
set -euo pipefail

bin=${1:-build/bin}
runs=${2:-9}
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

# Record layouts (little-endian): VERT/VTNM x y z floats; FVRT vert, vtnm, tx, ty;
# FACE vtnm, d, mat, first corner, corner count, two reserved.
perl -e '
  use strict; my ($d, $n) = ($ARGV[0], 32769); srand(42);
  sub out { open(my $f, ">:raw", "$d/$_[0]") or die "$d/$_[0]: $!"; print $f $_[1]; close $f or die; }
  out("vert.kvt", join "", map { pack "f<3", map { rand(200) - 100 } 1 .. 3 } 1 .. $n);
  out("vtnm.kvt", join "", map { my @v = map { rand(2) - 1 } 1 .. 3; my $l = sqrt($v[0]**2 + $v[1]**2 + $v[2]**2) || 1;
                                 pack "f<3", map { $_ / $l } @v } 1 .. $n);
  out("fvrt.kvt", join "", map { pack "l<2f<2", int(rand($n)), int(rand($n)), rand(), rand() } 1 .. $n);
  out("face.kvt", join "", map { pack "l<f<l<4L<", $_, -rand(10), 70000 + $_ % 7, $_ % ($n - 2), 3, 0, 0 } 0 .. $n - 1);
' "$TESSAVOR_HOME"

"$cli" info
"$cli" export-obj "$work/ours.obj" >/dev/null  # also the input of assimp, and a warm-up

# timed OUT_PREFIX CMD...: appends wall and cpu seconds of one run to $work/OUT_PREFIX.{wall,cpu}
timed() {
  local name=$1
  shift
  TIMEFORMAT='%R %U %S'
  local t
  t=$({ time "$@" >/dev/null 2>&1; } 2>&1)
  read -r real user sys <<<"$t"
  echo "$real" >>"$work/$name.wall"
  echo "$user + $sys" | bc -l >>"$work/$name.cpu"
}
assimp export "$work/ours.obj" "$work/theirs.obj" >/dev/null  # warm-up
for ((i = 0; i < runs; i++)); do
  timed ours "$cli" export-obj "$work/ours-run.obj"
  timed model "$cli" export "$work/model-run.obj" --textures "$work/none/"
  timed theirs assimp export "$work/ours.obj" "$work/theirs.obj"
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
for kind in wall cpu; do
  o=$(median "$work/ours.$kind")
  m=$(median "$work/model.$kind")
  t=$(median "$work/theirs.$kind")
  printf "%-4s tessavor-cli export-obj: %.3f s  assimp export: %.3f s  ratio: %.1fx  (medians of %d)\n" \
    "$kind" "$o" "$t" "$(echo "$t / $o" | bc -l)" "$runs"
  printf "%-4s tessavor-cli export X.obj: %.3f s  = %.2f x assimp export\n" \
    "$kind" "$m" "$(echo "$m / $t" | bc -l)"
done
