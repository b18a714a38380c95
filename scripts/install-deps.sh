#!/usr/bin/env bash
# Installs the Debian packages the build needs, and only those that are missing.
# Works as root and through sudo; runs apt-get update once, only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev
  qt6-base-dev libqt6opengl6-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev clang-format clang-tidy
  libgl1-mesa-dri xvfb xauth
  assimp-utils libassimp-dev libdeflate-dev libpng-dev libmeshoptimizer-dev nlohmann-json3-dev
  openbox wmctrl xdotool
  blender python3-numpy
  desktop-file-utils ccache
  lintian
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
# Two builds started at once (two clones, two worktrees) may both find packages missing:
# the second waits for the first's dpkg lock instead of failing.
lock_wait=(-o DPkg::Lock::Timeout=900)
$SUDO apt-get "${lock_wait[@]}" update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get "${lock_wait[@]}" install -y -qq --no-install-recommends "${missing[@]}"
