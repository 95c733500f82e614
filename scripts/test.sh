#!/bin/sh
# Installs what is missing, builds the Linux and the Windows build, and runs
# every test (the Windows build's under Wine).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --workflow --preset release
cmake --workflow --preset windows
