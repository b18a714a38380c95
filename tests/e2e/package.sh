#!/usr/bin/env bash
# The Debian package of the main build: its name and version, its file list, and that its
# Depends cover every library the packed programs and libraries load. With `install`, and
# as root, it is then installed with apt-get, all three programs are run from another
# folder, and it is removed (a separate test: the system's triggers for manual pages, file
# types and menus take most of its time).
#   package.sh BUILD_DIR VERSION [install]
set -euo pipefail

build=$(cd "$1" && pwd)
version=$2
mode=${3:-}
if [ "$mode" = install ] && [ "${TESSAVOR_SYSTEM_TESTS:-}" != 1 ]; then
  echo "installs the package system-wide: run it with make test-install"
  exit 77
fi
work=$(mktemp -d)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

# One package run at a time on this machine: cpack's staging folder and dpkg are shared.
exec 9>/tmp/tessavor-package-test.lock
flock 9

installed_here=0
cleanup() {
  [ "$installed_here" -eq 1 ] && dpkg -r tessavor >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; exit 1; }
deb="$work/out/tessavor_${version}_amd64.deb"
[ -f "$deb" ] || { ls "$work/out" >&2; echo "FAIL: no $deb" >&2; exit 1; }

[ "$(dpkg-deb -f "$deb" Package)" = tessavor ] || fail "Package: $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] && ok "version $version" || fail "Version: $(dpkg-deb -f "$deb" Version)"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's/ -> .*//' >"$work/files"
for f in ./usr/bin/tessavor ./usr/bin/tessavor-cli ./usr/bin/iffc ./usr/lib/tessavor/libbsp.so \
         ./usr/lib/tessavor/libtvqtimage.so ./usr/lib/tessavor/kvt_mesh.txt ./usr/lib/tessavor/pal/stone.pal \
         ./usr/lib/tessavor/demo/demo.iff ./usr/share/applications/tessavor.desktop \
         ./usr/share/mime/packages/tessavor.xml ./usr/share/icons/hicolor/scalable/apps/tessavor.svg \
         ./usr/share/man/man1/iffc.1.gz ./usr/share/bash-completion/completions/tessavor-cli; do
  grep -qxF "$f" "$work/files" || fail "not in the package: $f"
done
grep -v '^\./usr/' "$work/files" | grep -vx '\./' && fail "files outside /usr"
grep -E '/(test_|bench_|fuzz_)[^/]*$' "$work/files" && fail "test programs in the package"

# The licence's notice and the changelog, as Debian keeps them; the changelog's newest entry
# is this version.
dpkg-deb -x "$deb" "$work/root"
doc="$work/root/usr/share/doc/tessavor"
if [ -f "$doc/copyright" ]; then
  # Every line of the licence's permission text, as the copyright file indents it.
  sed -n '/^Permission/,$p' "$(dirname "$0")/../../LICENSE" >"$work/licence"
  missing=$(grep -v '^$' "$work/licence" | while IFS= read -r line; do
              grep -qxF " $line" "$doc/copyright" || echo "$line"; done)
  [ -z "$missing" ] && grep -q '^License: Expat$' "$doc/copyright" && ok "copyright file with the MIT notice" ||
    fail "copyright file lacks: $missing"
else
  fail "no usr/share/doc/tessavor/copyright"
fi
if [ -f "$doc/changelog.gz" ]; then
  top=$(zcat "$doc/changelog.gz" | sed -n '1s/^tessavor (\([^)]*\)).*/\1/p')
  [ "$top" = "$version" ] && ok "changelog starts at $version" || fail "changelog's newest entry is '$top', not $version"
else
  fail "no usr/share/doc/tessavor/changelog.gz"
fi
# lintian, Debian's package checker, when installed (scripts/install-deps.sh installs it):
# no error and no warning.
if [ "$mode" != install ] && command -v lintian >/dev/null; then
  if lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1; then
    tags=$(grep -v 'root privileges' "$work/lintian.txt" || true)
    ok "lintian: no errors, no warnings${tags:+; $tags}"
  else
    fail "lintian: $(cat "$work/lintian.txt")"
  fi
fi

# Every library a packed file loads must come from a package the Depends name.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
libs=$(for elf in "$work"/root/usr/bin/* "$work"/root/usr/lib/tessavor/*.so; do
         readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'
       done | sort -u)
[ -n "$libs" ] || fail "no libraries read from the packed programs"
# One look-up for all of them: the dpkg database is slow to read.
patterns=()
for lib in $libs; do patterns+=("*/x86_64-linux-gnu/$lib"); done
dpkg -S "${patterns[@]}" >"$work/owners" 2>/dev/null || true
for lib in $libs; do
  owners=$(grep -F "/$lib" "$work/owners" | grep "/$lib\$" | sed 's/: \/.*//' | tr ',' '\n' | sed 's/^ *//; s/:.*//' | sort -u)
  if [ -z "$owners" ]; then
    fail "$lib: no package of this system holds it"
  elif ! grep -qxF -f <(printf '%s\n' "$owners") <<<"$depends"; then
    fail "$lib comes from $(echo $owners), which Depends does not name"
  fi
done
ok "Depends: $(echo $depends)"

if [ "$mode" != install ]; then
  :
elif [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  if dpkg-query -W -f='${Status}' tessavor 2>/dev/null | grep -q 'install ok installed'; then
    echo "a tessavor package is already installed here: the install check is left out"
  else
    installed_here=1
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=120 "$deb" \
      >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get install"; }
    mkdir "$work/elsewhere" && cd "$work/elsewhere"
    export TESSAVOR_HOME="$work/home"
    unset TESSAVOR_LOG
    PATH=/usr/sbin:/usr/bin:/sbin:/bin
    if tessavor-cli --version >"$work/v.txt" 2>&1; then
      grep -qF "$version" "$work/v.txt" && ok "tessavor-cli --version" || fail "--version printed: $(cat "$work/v.txt")"
    else
      echo "tessavor-cli has no --version yet: not checked"
    fi
    iffc --help | grep -q '^Usage: iffc' && ok "iffc --help" || fail "iffc --help"
    sh /usr/lib/tessavor/seed-home.sh >/dev/null && tessavor-cli make-tree tree.iff >/dev/null &&
      ok "demo ripped and its tree built" || fail "seed-home.sh / make-tree"
    QT_QPA_PLATFORM=offscreen tessavor --screenshot shots >/dev/null 2>"$work/err.txt" &&
      [ -f shots/Form1-vert.png ] && ! grep -q kvt_mesh.txt "$work/err.txt" &&
      ok "tessavor --screenshot" || fail "tessavor --screenshot: $(cat "$work/err.txt")"
    if command -v man >/dev/null; then
      man -w tessavor-cli >/dev/null 2>&1 && ok "man tessavor-cli" || fail "man -w tessavor-cli"
    fi
    cd /
    dpkg -r tessavor >/dev/null && installed_here=0 && [ ! -e /usr/bin/tessavor ] && ok "removed" || fail "dpkg -r"
  fi
else
  echo "not root: the install check is left out"
  exit 77
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
