#!/bin/sh
# kit_test.sh <linux build> <windows build> <wine template prefix>: makes
# both kits, unpacks each into a directory of its own, runs the unpacked
# program on its example settings file (the Windows one under Wine, in a
# fresh prefix) and checks the registry it wrote.
set -eu
linux_build=$1 windows_build=$2 template=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/authreg-kit-XXXXXX")
trap 'WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$linux_build" && cpack -G TGZ >/dev/null)
tar -xzf "$linux_build"/authreg-*-linux-x86_64.tar.gz -C "$work"
kit=$(echo "$work"/authreg-*-linux-x86_64)
for f in authreg authreg.dat LICENSE share/man/man1/authreg.1; do
  [ -e "$kit/$f" ] || fail "Linux kit lacks $f"
done
WINEPREFIX="$work/linux-prefix" LC_ALL=C.UTF-8 "$kit/authreg" || fail "the Linux kit's program exited $?"
grep -q '^\[Software\\\\Norvane\\\\example.org\\\\ExampleTool\] ' "$work/linux-prefix/user.reg" ||
  fail "the Linux kit's run wrote no software key"
grep -q '^"DisplayName"="Example Tool 2.1"$' "$work/linux-prefix/user.reg" || fail "no DisplayName"
echo "Linux kit: unpacked, ran, registered"

if [ ! -f "$windows_build/authreg.exe" ] || ! command -v wine >/dev/null; then
  echo "*** no Windows build or no Wine: the Windows kit was not tried ***"
  exit 0
fi
(cd "$windows_build" && cpack -G ZIP >/dev/null)
mkdir "$work/win"
(cd "$work/win" && unzip -q "$windows_build"/authreg-*-windows-x64.zip)
kit=$(echo "$work"/win/authreg-*-windows-x64)
for f in authreg.exe authreg.dat authreg.txt LICENSE.txt; do
  [ -e "$kit/$f" ] || fail "Windows kit lacks $f"
done
iconv -f CP932 -t UTF-8 "$kit/authreg.dat" | grep -q '^Author=株式会社サンプルソフト' ||
  fail "the Windows kit's settings file is not code page 932"
if [ -d "$template" ]; then cp -a "$template" "$work/wine"; rm -f "$work/wine/wineserver"; fi
export WINEPREFIX="$work/wine" WINEDEBUG=-all LC_ALL=ja_JP.UTF-8
(cd "$kit" && wine authreg.exe) || fail "the Windows kit's program exited $?"
wineserver -w
wine regedit /e "Z:$(printf '%s' "$work/export.reg" | tr / '\\')" 'HKEY_CURRENT_USER\Software\Norvane' >/dev/null 2>&1 || true
wineserver -w
exported=$(iconv -f UTF-16 -t UTF-8 "$work/export.reg" | tr -d '\r')
printf "%s\n" "$exported" | grep -q '^\[HKEY_CURRENT_USER\\Software\\Norvane\\example.co.jp\\サンプルツール\]$' ||
  fail "the Windows kit's run wrote no software key: $exported"
printf "%s\n" "$exported" | grep -q '^"Author"="株式会社サンプルソフト"$' || fail "no Author: $exported"
echo "Windows kit: unpacked, ran under Wine, registered"
