#!/bin/sh
# Builds the Linux build and registers examples/authreg.dat into the Wine
# prefix $WINEPREFIX (default ~/.wine), then shows what it wrote there.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh --build-only
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-demo --target authreg >/dev/null
cp build-demo/authreg examples/authreg
prefix="${WINEPREFIX:-$HOME/.wine}"
status=0
examples/authreg || status=$?
rm -f examples/authreg
echo "exit code: $status"
echo "--- $prefix/user.reg, below Software\\Norvane:"
awk '/^\[/ { show = ($0 ~ /^\[Software\\\\Norvane/) } show' "$prefix/user.reg"
exit $status
