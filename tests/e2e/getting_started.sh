#!/usr/bin/env bash
# The README's "Getting started" as a newcomer follows it, on an install staged in a
# temporary folder in place of /usr: the commands are read from the README itself, so that
# a step that is changed there is the step tested. Only "/usr/" in them is replaced by the
# staged tree, and the commands run under Debian's sh (dash), as the README has them typed.
#  - Step 1: the seed script and the editor (on Xvfb; still running after a while is
#    "started"), in the user's default home folder, without XDG_RUNTIME_DIR as under a
#    plain session: nothing may be printed on standard error.
#  - Steps 2 and 3 happen in windows: the window test GettingStarted.StepsOneToThreeAsWritten
#    clicks them.
#  - Step 4: the commands in a folder of one's own; the model it writes carries the scaled
#    radius.
#   getting_started.sh BUILD_DIR README
set -euo pipefail

build=$(cd "$1" && pwd)
readme=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >"$work/install.log" ||
  { cat "$work/install.log" >&2; exit 1; }
root="$work/stage"
shell=sh
command -v dash >/dev/null && shell=dash

section=$(awk '/^## Getting started/ { on = 1; next } /^## / { on = 0 } on' "$readme")
[ -n "$section" ] || { echo "FAIL: no Getting started section in $readme" >&2; exit 1; }
staged() { sed "s|/usr/|$root/usr/|g"; }

# A user of their own: HOME in the scratch folder, nothing else of the test's environment.
mkdir -p "$work/user" "$work/own"
as_user() { env -i HOME="$work/user" PATH="$root/usr/bin:/usr/bin:/bin" LANG=C.UTF-8 "$@"; }
home="$work/user/.local/share/tessavor"

# Step 1.
step1=$(printf '%s\n' "$section" | sed -n 's/^ *`\(sh [^`]*seed-home\.sh[^`]*\)`.*/\1/p' | head -n 1)
[ -n "$step1" ] || fail "step 1 names no seed-home.sh command"
cmd=$(printf '%s\n' "$step1" | staged)
status=0
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing"; exit 77; }
(cd "$work/own" && as_user xvfb-run -a -s "-screen 0 1280x1024x24" timeout 20 "$shell" -c "$cmd") >"$work/step1.out" 2>"$work/step1.err" || status=$?
if [ "$status" -eq 124 ]; then
  ok "step 1: $step1 (the editor was still running after 20 s)"
else
  fail "step 1: $step1 ended with status $status: $(cat "$work/step1.out" "$work/step1.err")"
fi
[ -s "$work/step1.err" ] && fail "step 1 printed on standard error: $(cat "$work/step1.err")"
[ -f "$home/vert.kvt" ] && ok "the demo is in the default home folder" || fail "no vert.kvt in $home"
# (The editor writes the file again when it closes, without the quotes.)
grep -qxE "MatPath=\"?$home/textures/\"?" "$home/model.ini" &&
  ok "textures from the home's own folder" || fail "model.ini: $(cat "$home/model.ini" 2>&1)"
cmp -s "$home/textures/00001001.gct" "$root/usr/lib/tessavor/demo/00001001.gct" &&
  ok "the demo's textures copied into the home" || fail "no demo texture in $home/textures"
grep -qF "seed-home: the demo model is in $home" "$work/step1.out" ||
  fail "step 1 does not say where the demo went: $(cat "$work/step1.out")"
cp "$home/radi.kvt" "$work/demo-radi.kvt"

# Step 4, in a folder of one's own.
step4=$(printf '%s\n' "$section" | awk '/^ *```/ { if (on) exit; on = 1; next } on { sub(/^ +/, ""); print }')
[ -n "$step4" ] || fail "step 4 has no commands"
if (cd "$work/own" && as_user "$shell" -e -c "$(printf '%s\n' "$step4" | staged)") \
  >"$work/step4.out" 2>&1; then
  ok "step 4 ran: $(printf '%s; ' "$step4")"
else
  fail "step 4: $(cat "$work/step4.out")"
fi
if [ -f "$work/own/mesh.iff" ]; then
  # The compiled model, ripped elsewhere, has the demo's radius doubled by "scale 200".
  mkdir "$work/check"
  TESSAVOR_HOME="$work/check" "$root/usr/bin/tessavor-cli" rip "$work/own/mesh.iff" >/dev/null
  python3 - "$work/demo-radi.kvt" "$work/check/radi.kvt" <<'PY' && ok "mesh.iff carries the doubled radius" || fail "radius of mesh.iff"
import struct, sys
before = struct.unpack("<f", open(sys.argv[1], "rb").read(4))[0]
after = struct.unpack("<f", open(sys.argv[2], "rb").read(4))[0]
print(f"radius {before} -> {after}")
sys.exit(0 if before > 0 and after == struct.unpack("<f", struct.pack("<f", before * 2))[0] else 1)
PY
else
  fail "step 4 wrote no mesh.iff"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
