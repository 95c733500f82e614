#!/bin/sh
# Installs what is missing, builds the Linux and the Windows build, and runs
# every test (the Windows build's under Wine).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The Windows build first: the Linux tests run its .exe under Wine and
# compare the two.
cmake --workflow --preset windows
cmake --workflow --preset release
# The same tests with AddressSanitizer and UBSan, and each fuzzer for a
# bounded time.
cmake --workflow --preset asan
