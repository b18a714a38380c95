#!/usr/bin/env bash
# An install into a temporary DESTDIR, moved elsewhere afterwards, must run from any folder
# on its own resources: the private folder beside its bin/, never the build folder.
#   install.sh BUILD_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

DESTDIR="$work/stage" cmake --install "$build" --prefix /opt/tessavor >"$work/install.log" ||
  { cat "$work/install.log" >&2; exit 1; }
# Moved after the install: nothing may depend on the prefix it was installed for.
mv "$work/stage/opt/tessavor" "$work/moved"
root="$work/moved"
private="$root/lib/tessavor"

for f in bin/tessavor bin/tessavor-cli bin/iffc lib/tessavor/kvt_mesh.txt lib/tessavor/pal/grey.pal \
         lib/tessavor/libbsp.so lib/tessavor/libtvqtimage.so lib/tessavor/tessavor-model-reader lib/tessavor/tessavor-model-writer lib/tessavor/demo/demo.iff \
         lib/tessavor/demo/00001001.gct lib/tessavor/seed-home.sh share/applications/tessavor.desktop \
         share/mime/packages/tessavor.xml share/icons/hicolor/scalable/apps/tessavor.svg \
         share/icons/hicolor/48x48/apps/tessavor.png share/man/man1/tessavor.1.gz \
         share/man/man1/tessavor-cli.1.gz share/man/man1/iffc.1.gz \
         share/bash-completion/completions/tessavor-cli; do
  [ -f "$root/$f" ] || fail "not installed: $f"
done

mkdir "$work/elsewhere" "$work/home"
cd "$work/elsewhere"
export TESSAVOR_HOME="$work/home"
unset TESSAVOR_LOG
run() { "$@" >"$work/out.txt" 2>"$work/err.txt"; }

# Include files come from the program folder: a missing one is reported with the folder
# searched, and one put into the installed private folder is found.
printf 'IFF "probe.iff"\n{\nCHUNK PROB\n{\n$INCLUDE probe.def\nLONG PROBE\n}\n}\n' >probe.txt
run "$root/bin/iffc" probe.txt || true
grep -qF "include file not found: $private/probe.def" "$work/out.txt" &&
  ok "iffc looks for include files in the installed private folder" ||
  fail "iffc include folder: $(cat "$work/out.txt" "$work/err.txt")"
printf 'const\n  PROBE = 7\n' >"$private/probe.def"
run "$root/bin/iffc" probe.txt && [ -f probe.iff ] && ok "iffc compiles with the installed include file" ||
  fail "iffc with the installed include file: $(cat "$work/out.txt" "$work/err.txt")"

# The seed script of the install rips its demo with the installed tessavor-cli, and the
# installed tree builder and picture library work on it.
run sh "$private/seed-home.sh" && [ -f "$work/home/vert.kvt" ] && ok "seed-home.sh rips the installed demo" ||
  fail "seed-home.sh: $(cat "$work/out.txt" "$work/err.txt")"
# The textures are the home's own copies, where Import... may write beside them.
grep -qF "MatPath=\"$work/home/textures/\"" "$work/home/model.ini" || fail "model.ini: $(cat "$work/home/model.ini")"
cmp -s "$private/demo/00001001.gct" "$work/home/textures/00001001.gct" &&
  ok "seed-home.sh copies the installed demo's textures into the home" || fail "no textures in the home"
run "$root/bin/tessavor-cli" make-tree tree.iff && [ -f tree.iff ] && ok "make-tree with the installed libbsp.so" ||
  fail "make-tree: $(cat "$work/err.txt")"
run "$root/bin/tessavor-cli" image convert "$private/demo/00001001.bmp" wall.png && [ -f wall.png ] &&
  ok "PNG through the installed libtvqtimage.so" || fail "image convert: $(cat "$work/err.txt")"
# Import runs the installed model reader; without it the import says so, never falling
# back to the build folder's copy.
run "$root/bin/tessavor-cli" export-obj mesh.obj && run "$root/bin/tessavor-cli" import mesh.obj &&
  ok "import through the installed model reader" || fail "import: $(cat "$work/out.txt" "$work/err.txt")"
rm "$private/tessavor-model-reader"
status=0
run "$root/bin/tessavor-cli" import mesh.obj || status=$?
[ "$status" -ne 0 ] && grep -qF "cannot run the model reader $private/tessavor-model-reader" "$work/out.txt" "$work/err.txt" &&
  ok "import without the model reader" ||
  fail "import without the model reader: status $status, $(cat "$work/out.txt" "$work/err.txt")"
# Without the installed library the tree builder cannot be loaded: the program never falls
# back to the build folder's copy.
rm "$private/libbsp.so"
status=0
run "$root/bin/tessavor-cli" make-tree tree2.iff || status=$?
[ "$status" -eq 2 ] && grep -qF "Cannot load $private/libbsp.so" "$work/out.txt" "$work/err.txt" && ok "no fallback to the build folder" ||
  fail "make-tree without the installed library: status $status, $(cat "$work/out.txt" "$work/err.txt")"

# The editor finds its script template (a missing one is reported on standard error).
if run env QT_QPA_PLATFORM=offscreen "$root/bin/tessavor" --screenshot shots && [ -f shots/Form1-script.png ]; then
  grep -q 'kvt_mesh.txt' "$work/err.txt" && fail "tessavor did not find kvt_mesh.txt: $(cat "$work/err.txt")" ||
    ok "tessavor --screenshot on the installed resources"
else
  fail "tessavor --screenshot: $(cat "$work/err.txt")"
fi

# Manual pages name every command the program's help lists; completion offers them.
zcat "$root/share/man/man1/tessavor-cli.1.gz" | grep -q '^\.B export\\-obj OUT' && ok "manual page lists the commands" ||
  fail "tessavor-cli.1 lacks export-obj"
words=$(PATH="$root/bin:$PATH" bash -c 'source "$1"; COMP_WORDS=(tessavor-cli export-); COMP_CWORD=1; _tessavor_cli
  echo "${COMPREPLY[*]}"; COMP_WORDS=(tessavor-cli image ""); COMP_CWORD=2; _tessavor_cli; echo "${COMPREPLY[*]}"' \
  _ "$root/share/bash-completion/completions/tessavor-cli")
[ "$words" = $'export-obj\nconvert' ] && ok "completion" || fail "completion offered: $words"

# The file type tells a game model from the Amiga pictures that share its extension.
if command -v update-mime-database >/dev/null && command -v gio >/dev/null &&
   [ -f /usr/share/mime/packages/freedesktop.org.xml ]; then
  mkdir -p "$work/xdg/mime/packages"
  cp /usr/share/mime/packages/freedesktop.org.xml "$root/share/mime/packages/tessavor.xml" "$work/xdg/mime/packages/"
  update-mime-database "$work/xdg/mime" >/dev/null 2>&1
  printf 'FORM\0\0\0\4ILBM' >picture.iff
  types=$(XDG_DATA_DIRS="$work/xdg" XDG_DATA_HOME="$work/xdg" gio info -a standard::content-type \
          "$private/demo/demo.iff" picture.iff | sed -n 's/.*content-type: //p' | tr '\n' ' ')
  [ "$types" = "model/x-starvigil-iff image/x-ilbm " ] && ok "file types" || fail "file types: $types"
fi

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/share/applications/tessavor.desktop" && ok "desktop entry valid" || fail "desktop entry"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
