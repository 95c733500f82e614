#!/bin/sh
# memcheck.sh <authreg>: runs registration, removal and a failing run under
# valgrind's memcheck; any memory error or definite leak fails.
set -eu
program="$1"
if ! command -v valgrind >/dev/null; then
  echo "*** valgrind is not installed: memcheck not run ***"
  exit 0
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$program" "$dir/authreg"
export WINEPREFIX="$dir/prefix" LC_ALL=C.UTF-8
check() {
  expected=$1; shift
  status=0
  valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
    "$dir/authreg" "$@" 2>"$dir/err" || status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "authreg $* exited $status, expected $expected:"; cat "$dir/err"; exit 1
  fi
  echo "memcheck clean: authreg $* (exit $status)"
}
check 1                       # no settings file: the failure report
printf '[Author]\nMainAddress=a\nInfoInc=1\n[Soft]\nSoftKey=s\\t\nBuild=7\n' > "$dir/authreg.dat"
check 0                       # registration, with the InfoInc box
check 0 /delsoft
check 0 /delauthor
