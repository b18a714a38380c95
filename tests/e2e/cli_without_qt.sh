#!/usr/bin/env bash
# tessavor-cli must start without the Qt libraries (they are loaded from libtvqtimage.so only
# for BMP, PNG and JPEG pictures), convert those pictures through the library when it is there,
# and say plainly when it is not, while every other picture format still converts.
#   cli_without_qt.sh BIN_DIR
# Exit 77 (skipped) for a build without Qt.
set -euo pipefail

bin=$(cd "$1" && pwd)
cli="$bin/tessavor-cli"
[ -f "$bin/libtvqtimage.so" ] || { echo "build without Qt: skipped" >&2; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

# 1. No Qt library among the program's own dependencies.
if needed=$(readelf -d "$cli" 2>/dev/null | grep NEEDED); then
  if grep -qi 'libQt' <<<"$needed"; then fail "tessavor-cli links Qt: $(grep -i libQt <<<"$needed" | tr -s ' ')"; else ok "no Qt among the NEEDED libraries"; fi
else
  fail "readelf could not read $cli"
fi

# 2. A 3 x 2 picture, 24 bits per pixel, written by hand: rows bottom-up, each padded to
#    12 bytes (3 pixels * 3 bytes = 9, plus 3), blue-green-red.
bytes() { local b; for b in "$@"; do printf "$(printf '\\x%02x' "$b")"; done; }
le32() { bytes $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
le16() { bytes $(($1 & 255)) $((($1 >> 8) & 255)); }
{
  printf 'BM'; le32 78; le32 0; le32 54
  le32 40; le32 3; le32 2; le16 1; le16 24; le32 0; le32 24; le32 2835; le32 2835; le32 0; le32 0
  printf '\x00\x00\xff\x00\xff\x00\xff\x00\x00\x00\x00\x00'   # bottom row: red, green, blue
  printf '\xff\xff\xff\x00\x00\x00\x80\x80\x80\x00\x00\x00'   # top row: white, black, grey
} >"$work/a.bmp"

run() { "$@" >"$work/out.txt" 2>"$work/err.txt"; }

# Through Qt both ways, then into the game's own format: the same pixels as directly.
if run "$cli" image convert "$work/a.bmp" "$work/b.png" && run "$cli" image convert "$work/b.png" "$work/c.bmp" &&
   run "$cli" image convert "$work/c.bmp" "$work/via-qt.gct" && run "$cli" image convert "$work/a.bmp" "$work/direct.gct"; then
  if cmp -s "$work/via-qt.gct" "$work/direct.gct"; then ok "bmp -> png -> bmp keeps every pixel"; else fail "bmp -> png -> bmp changed the pixels"; fi
  grep -q '(3 x 2, 24 bits per pixel)' "$work/out.txt" && ok "size read as 3 x 2" || fail "size: $(cat "$work/out.txt")"
else
  fail "conversion through Qt: $(cat "$work/err.txt")"
fi

# 3. The program alone, without the library beside it.
mkdir "$work/lone"
cp "$cli" "$work/lone/tessavor-cli"
status=0
run "$work/lone/tessavor-cli" image convert "$work/a.bmp" "$work/lone.png" || status=$?
if [ "$status" -eq 2 ] && grep -q 'need the build with Qt' "$work/err.txt" && grep -q 'libtvqtimage.so' "$work/err.txt"; then
  ok "without the library: status 2 and a message naming it"
else
  fail "without the library: status $status, message: $(cat "$work/err.txt")"
fi
[ -e "$work/lone.png" ] && fail "a PNG appeared although it could not be written"
if run "$work/lone/tessavor-cli" image convert "$work/direct.gct" "$work/lone.lif"; then
  ok "without the library: gct -> lif still converts"
else
  fail "without the library, gct -> lif: $(cat "$work/err.txt")"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
