#!/bin/sh
# Whole-process figures of the Linux build against the disk and its peers,
# on hives made here. Prints a Markdown table and writes docs/scaling.png.
#   bench/run.sh [runs]      (default 5 runs a figure, median taken)
set -eu
cd "$(dirname "$0")/.."
runs=${1:-5}
top=$(pwd)
command -v gnuplot >/dev/null || { apt-get update >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y gnuplot-nox >/dev/null; }
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DAUTHREG_BENCHMARKS=ON >/dev/null
cmake --build build-bench -j2 >/dev/null
b=$top/build-bench
work=$(mktemp -d "${TMPDIR:-/tmp}/authreg-bench-XXXXXX")
trap 'WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$b/authreg" "$work/authreg"
cp examples/authreg.dat "$work/authreg.dat"
mkdir -p "$work/p"
export WINEPREFIX="$work/p" LC_ALL=C.UTF-8 WINEDEBUG=-all

t() { "$b/bench/timer" "$runs" "$@"; }           # median ms, min ms, max RSS KiB
ms() { echo "$1" | cut -d' ' -f1; }
rss() { echo "$1" | cut -d' ' -f3; }
second() { echo "$1" | cut -d' ' -f4-; }   # the --vs command's figures
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "| figure | hive | authreg | reference | ratio | target |"
echo "|---|---|---|---|---|---|"
: > "$work/scaling.dat"
for mib in 1 4 16 64; do
  "$b/bench/make_hive" "$mib" "$work/hive-$mib.reg"
  size=$(stat -c %s "$work/hive-$mib.reg")
  both=$(t --before "cp $work/hive-$mib.reg $WINEPREFIX/user.reg" -- "$work/authreg" \
          --vs "$b/bench/floor" copy "$WINEPREFIX/user.reg")
  reg=$both floor=$(second "$both")
  echo "$mib $(ms "$reg") $(ms "$floor")" >> "$work/scaling.dat"
  target=""; [ "$mib" -ge 16 ] && target="≤ 1.5"
  echo "| registration / copy-fsync-rename floor | $mib MiB | $(ms "$reg") ms | $(ms "$floor") ms | $(ratio "$(ms "$reg")" "$(ms "$floor")") | $target |"
  peak=$(rss "$reg")
  echo "| peak RSS / (hive + 16 MiB) | $mib MiB | $((peak / 1024)) MiB | $(( (size >> 20) + 16 )) MiB | $(ratio "$peak" "$(( (size >> 10) + 16384 ))") | ≤ 1 |"
done

"$b/bench/make_hive" 16 "$work/soft.reg" 10000
both=$(t --before "cp $work/soft.reg $WINEPREFIX/user.reg" -- "$work/authreg" /delauthor bench \
        --vs "$b/bench/floor" copy "$WINEPREFIX/user.reg")
del=$both floor=$(second "$both")
echo "| /delauthor of 10,000 software keys / floor | 16 MiB | $(ms "$del") ms | $(ms "$floor") ms | $(ratio "$(ms "$del")" "$(ms "$floor")") | ≤ 1.5 |"

empty=$(t --before "rm -rf $WINEPREFIX" -- "$work/authreg")
size=$(stat -c %s "$WINEPREFIX/user.reg")
write=$(t -- "$b/bench/floor" write "$size" "$work")
echo "| run on an empty prefix / write-fsync-rename of $size bytes | none | $(ms "$empty") ms | $(ms "$write") ms | $(ratio "$(ms "$empty")" "$(ms "$write")") | ≤ 3 |"

# Peers on a Wine prefix holding the 16 MiB hive.
export WINEPREFIX="$work/wine"
wine cmd /c exit >/dev/null 2>&1; wineserver -w
cp "$work/hive-16.reg" "$WINEPREFIX/user.reg"
cp -a "$WINEPREFIX" "$work/wine-clean"
restore="rm -rf $WINEPREFIX && cp -a $work/wine-clean $WINEPREFIX"
k='HKCU\Software\Norvane\example.org'
cat > "$work/reg-add.sh" <<SH
#!/bin/sh
wine reg add '$k' /v Author /d 'Example Software Ltd.' /f >/dev/null
wine reg add '$k' /v DisplayHost /d www.example.org /f >/dev/null
wine reg add '$k' /v InfoURL /d https://www.example.org/support /f >/dev/null
wine reg add '$k\ExampleTool' /v DistinctName /d example-tool /f >/dev/null
wine reg add '$k\ExampleTool' /v DisplayName /d 'Example Tool 2.1' /f >/dev/null
wine reg add '$k\ExampleTool' /v Build /t REG_DWORD /d 2104 /f >/dev/null
[ "\${1:-}" = warm ] || wineserver -w
SH
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Norvane\\example.org]\r\n"Author"="Example Software Ltd."\r\n"DisplayHost"="www.example.org"\r\n"InfoURL"="https://www.example.org/support"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Norvane\\example.org\\ExampleTool]\r\n"DistinctName"="example-tool"\r\n"DisplayName"="Example Tool 2.1"\r\n"Build"=dword:00000838\r\n' > "$work/import.reg"
cat > "$work/regedit.sh" <<SH
#!/bin/sh
wine regedit /s 'Z:$work/import.reg' >/dev/null
[ "\${1:-}" = warm ] || wineserver -w
SH
chmod +x "$work/reg-add.sh" "$work/regedit.sh"
ours=$(t --before "$restore" -- "$work/authreg")
cold_add=$(t --before "$restore" -- "$work/reg-add.sh")
cold_imp=$(t --before "$restore" -- "$work/regedit.sh")
wineserver -p 600 &
sleep 2
warm_add=$(t -- "$work/reg-add.sh" warm)
warm_imp=$(t -- "$work/regedit.sh" warm)
wineserver -k || true
echo "| wine reg add, 6 calls, cold (server start and save included) / authreg | 16 MiB | $(ms "$ours") ms | $(ms "$cold_add") ms | $(ratio "$(ms "$cold_add")" "$(ms "$ours")") | |"
echo "| wine regedit /s, cold / authreg | 16 MiB | $(ms "$ours") ms | $(ms "$cold_imp") ms | $(ratio "$(ms "$cold_imp")" "$(ms "$ours")") | |"
echo "| wine reg add, 6 calls, warm server (not yet saved) / authreg | 16 MiB | $(ms "$ours") ms | $(ms "$warm_add") ms | $(ratio "$(ms "$warm_add")" "$(ms "$ours")") | |"
echo "| wine regedit /s, warm server (not yet saved) / authreg | 16 MiB | $(ms "$ours") ms | $(ms "$warm_imp") ms | $(ratio "$(ms "$warm_imp")" "$(ms "$ours")") | |"

# The Windows build's delete, call for call, against wine reg delete.
if [ -f build-win/authreg.exe ]; then
  cp build-win/authreg.exe "$work/authreg.exe"
  cp "$work/soft.reg" "$work/wine-clean/user.reg"
  exe_del=$(t --before "$restore" -- sh -c "cd $work && wine authreg.exe /delauthor bench && wineserver -w")
  reg_del=$(t --before "$restore" -- sh -c "wine reg delete 'HKCU\\Software\\Norvane\\bench' /f >/dev/null && wineserver -w")
  echo "| authreg.exe /delauthor under Wine / wine reg delete /f (10,000 keys, cold) | 16 MiB | $(ms "$exe_del") ms | $(ms "$reg_del") ms | $(ratio "$(ms "$exe_del")" "$(ms "$reg_del")") | |"
fi

if [ -x "$b/bench/hive_bench" ]; then
  for mib in 1 4 16 64; do cp "$work/hive-$mib.reg" "$work/hive-$mib.reg" 2>/dev/null || true; done
  echo
  echo "In-process (Google Benchmark):"
  AUTHREG_BENCH_HIVES="$work" "$b/bench/hive_bench" --benchmark_min_time=0.2 2>/dev/null | grep -E '^BM_' || true
fi

gnuplot <<GP
set terminal png size 720,420
set output '$top/docs/scaling.png'
set title 'Registration run against the copy-fsync-rename floor'
set xlabel 'hive size (MiB)'
set ylabel 'median wall time (ms)'
set key left top
set grid
plot '$work/scaling.dat' using 1:2 with linespoints title 'authreg registration', \
     '$work/scaling.dat' using 1:3 with linespoints title 'copy + fsync + rename'
GP
echo
echo "plot: docs/scaling.png"
