#!/bin/sh
# Installs what building and testing need on Debian, when it is missing.
# With --build-only: just what the Linux build needs.
set -eu
packages="cmake g++ make libgtest-dev binutils wine64 g++-mingw-w64-x86-64 clang libclang-rt-14-dev valgrind groff-base mandoc unzip"
[ "${1:-}" = "--build-only" ] && packages="cmake g++ make"
need=""
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for pkg in $packages; do
  have "$pkg" || need="$need $pkg"
done
if [ -n "$need" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages:$need (run as root, or install them)" >&2
    exit 1
  fi
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y $need
fi
