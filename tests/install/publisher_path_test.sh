#!/usr/bin/env bash
# A new publisher's path as the handbook gives it, typed from an empty folder with relative paths:
# a new toolbar, a key pair, a signed build, an installer made from the kit's two libraries.
# Usage: publisher_path_test.sh TBTOOL SOURCE_DIR WORK_DIR. Exit 77 (skipped) without makensis or
# without the Windows libraries (`make build` makes them in build/win32 and build/win64).
set -uo pipefail
tbtool=$1 source_dir=$2 work=$3
command -v makensis >/dev/null || { echo "makensis is missing (Debian's nsis)"; exit 77; }
lib32=$source_dir/build/win32/Toolbar.dll lib64=$source_dir/build/win64/Toolbar.dll
for lib in "$lib32" "$lib64"; do
  [ -f "$lib" ] || { echo "$lib is not built (make build)"; exit 77; }
done
rm -rf "$work" && mkdir -p "$work/bin" && cd "$work" || exit 1
ln -s "$tbtool" bin/tbtool
export PATH=$work/bin:$PATH TBTOOL=$work/bin/tbtool
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
step() { "$@" >>steps.txt 2>&1 || fail "$* exited with $?: $(tail -5 steps.txt)"; }

step tbtool new "Météo Bar"
step tbtool keygen MeteoBar/keys/meteo
step tbtool build MeteoBar/MeteoBar.json MeteoBar/out --sign MeteoBar/keys/meteo.key
step "$source_dir/scripts/make-installer" --toolbar32 "$lib32" --toolbar64 "$lib64" --key MeteoBar/keys/meteo.pub \
  --template MeteoBar/out/MeteoBar.tb --icons MeteoBar/out/Icons.bin --out MeteoBar/MeteoBarSetup.exe

tbtool verify MeteoBar/keys/meteo.pub MeteoBar/out/MeteoBar.release MeteoBar/out/MeteoBar.tb MeteoBar/out/Icons.bin \
  >/dev/null || fail "the signed build does not verify"
[ -s MeteoBar/MeteoBarSetup.exe ] || fail "no installer written"
grep -qF 'wrote '"$work"'/MeteoBar/MeteoBarSetup.exe (Météo Bar: MeteoBar.dll, 32-bit and 64-bit' steps.txt ||
  fail "the installer does not carry both libraries under the toolbar's name: $(tail -2 steps.txt)"
[ "$failures" = 0 ] && echo "the publisher's path: all steps passed"
exit $((failures > 0))
