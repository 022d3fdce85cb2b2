#!/bin/sh
# The Windows measures of `make bench`, under Wine, on one Windows build tree: the toolbar test's
# bench (three runs), the stand-in browser's measures (tests/host/driver_bench.sh) and the size of
# the stripped library. Writes what it measured into RESULTS; where this machine cannot run the
# build's programs it writes the reason into RESULTS/windows.txt instead, and succeeds.
#   windows_bench.sh BUILD_DIR RESULTS_DIR
set -eu
build=$1 results=$2
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$results"
rm -f "$results"/toolbar_bench-*.txt "$results/driver_bench.txt" "$results/library_size.txt" "$results/windows.txt"

: >"$results/library_size.txt"
for arch in win64 win32; do
  dll=$root/build/$arch/Toolbar.dll
  [ -f "$dll" ] && echo "$arch $(stat -c %s "$dll")" >>"$results/library_size.txt"
done

if [ ! -x "$build/wine-run" ] || [ ! -f "$build/tbhost.exe" ]; then
  echo "no Windows build in $build" >"$results/windows.txt"
  exit 0
fi
if ! reason=$("$build/wine-run" --can-run); then
  echo "$reason" >"$results/windows.txt"
  exit 0
fi
trap '"$build/wine-run" --down' EXIT

for run in 1 2 3; do
  echo "toolbar bench, run $run"
  "$build/wine-run" "$build/tests/toolbar/toolbar_tests.exe" --gtest_also_run_disabled_tests \
    --gtest_filter='ToolbarBench.*' >"$results/toolbar_bench-$run.txt" 2>&1 || {
    echo "the toolbar bench failed (see $results/toolbar_bench-$run.txt)" >"$results/windows.txt"; exit 1; }
  grep -E '^(sample toolbar|300 items):' "$results/toolbar_bench-$run.txt" || true
done

echo "stand-in browser"
# A prefix of its own, where COM starts the stand-in browser process for the browser's class (Wine's
# own refuses to show a band, so registration would fail): the suites' prefix stays as it is.
"$build/wine-run" --down
export TB_WINE_PREFIX="$PWD/$build/bench-prefix"
"$build/wine-run" "$build/tbiexplore.exe" --register >/dev/null
sh "$root/tests/host/driver_bench.sh" "$build/wine-run" "$build/tbhost.exe" "$build/Toolbar.dll" \
  "$build/tools/tbtool.exe" "$root/samples/sample-bar" "$PWD/$build/bench-work" "$TB_WINE_PREFIX" \
  >"$results/driver_bench.txt" 2>&1 || {
  echo "the stand-in browser's measures failed (see $results/driver_bench.txt)" >"$results/windows.txt"; exit 1; }
grep -v '^warning:' "$results/driver_bench.txt"
