#!/usr/bin/env bash
# The installer script as makensis compiles it, natively (NSIS installers are 32-bit Windows
# programs; running them is the Windows build's install test): names holding NSIS's quote
# characters compile, what no installer can carry is refused with a message, the uninstaller
# deletes the data folder's files by name, and a failing authoring tool stops the script.
# Usage: make_installer_test.sh TBTOOL SOURCE_DIR WORK_DIR. Exit 77 (skipped) without makensis.
set -uo pipefail
tbtool=$1 source_dir=$2 work=$3
command -v makensis >/dev/null || { echo "makensis is missing (Debian's nsis)"; exit 77; }
rm -rf "$work" && mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A file that passes the installer's check for a 32-bit library: MZ, PE signature, machine 014c.
python3 - "$work/SampleBar.dll" <<'PY'
import struct, sys
image = bytearray(512)
image[0:2] = b"MZ"
struct.pack_into("<I", image, 0x3C, 0x40)
image[0x40:0x44] = b"PE\0\0"
struct.pack_into("<H", image, 0x44, 0x14C)
open(sys.argv[1], "wb").write(image)
PY
"$tbtool" build "$source_dir/samples/sample-bar/sample-bar.json" "$work/sample" >/dev/null 2>&1 || fail "the sample does not build"

make_installer() {  # NAME [LIBRARY]; the rest of the arguments fixed
  local lib=${2:-$work/SampleBar.dll}
  rm -f "$work/Setup.exe" "$work/setup.nsi"
  TBTOOL=${TBTOOL_OVERRIDE:-$tbtool} "$source_dir/scripts/make-installer" --name "$1" --member-id "4'7\`1\$x\"" \
    --lib32 "$lib" --template "$work/sample/SampleBar.tb" --icons "$work/sample/Icons.bin" \
    --out "$work/Setup.exe" --nsi "$work/setup.nsi" >"$work/out.txt" 2>&1
}

for name in "Bob's Bar" 'Back`tick Bar' 'Price $5 Bar'; do
  make_installer "$name" || fail "\"$name\" does not compile: $(tail -3 "$work/out.txt")"
  [ -s "$work/Setup.exe" ] || fail "\"$name\": no installer written"
done
cp "$work/SampleBar.dll" "$work/Bob's\`Bar.dll"
make_installer "Bob's Bar" "$work/Bob's\`Bar.dll" || fail "a library name with ' and a back-quote does not compile: $(tail -3 "$work/out.txt")"

for name in "$(printf 'Tab\tBar')" "$(printf 'Two\nLines')" 'Pipe|Bar' 'Quote"Bar'; do
  status=0; make_installer "$name" || status=$?
  [ "$status" = 2 ] || fail "$(printf %q "$name") exits with $status, not 2"
  grep -q '^make-installer: the name ' "$work/out.txt" || fail "$(printf %q "$name"): no message: $(cat "$work/out.txt")"
  [ ! -e "$work/Setup.exe" ] || fail "$(printf %q "$name"): an installer was written"
done

make_installer "Sample Bar" || fail "the sample does not compile"
nsi="$work/setup.nsi"
! grep -q 'RMDir /r' "$nsi" || fail "the script still removes a folder with everything in it"
for file in '${BASE}.tb' 'Icons.bin' 'Settings.ini' 'History.txt' '${BASE} Default.tb' 'Internet Icons.bin'; do
  grep -qF "Delete \"\$data\\$file\"" "$nsi" || fail "the uninstaller does not delete $file by name"
done
grep -qF 'RMDir "$data"' "$nsi" || fail "the uninstaller does not remove the emptied data folder"
grep -qF 'FILE_ATTRIBUTE_REPARSE_POINT' "$nsi" || fail "the uninstaller does not leave a linked data folder alone"
grep -qF '!insertmacro RequireOwnClass' "$nsi" || fail "the installer does not check whose the class is"

status=0; TBTOOL_OVERRIDE=/bin/false make_installer "Sample Bar" || status=$?
[ "$status" = 2 ] || fail "a failing authoring tool exits with $status, not 2"
grep -q 'cannot read the class id' "$work/out.txt" || fail "a failing authoring tool says nothing: $(cat "$work/out.txt")"
[ ! -e "$work/Setup.exe" ] || fail "a failing authoring tool still wrote an installer"

# A publisher runs it from the folder of their toolbar, with paths relative to it.
rm -f "$work/Setup.exe"
(cd "$work" && TBTOOL=$tbtool "$source_dir/scripts/make-installer" --name "Sample Bar" --lib32 SampleBar.dll \
   --template sample/SampleBar.tb --icons sample/Icons.bin --out Setup.exe >"$work/out.txt" 2>&1) ||
  fail "paths relative to the caller's folder are not found: $(cat "$work/out.txt")"
[ -s "$work/Setup.exe" ] || fail "relative paths: no installer written in the caller's folder"

# The kit's libraries branded by the script: what it cannot brand stops it, and the two ways of
# giving libraries do not mix.
brand_case() {  # EXPECTED-MESSAGE ARGUMENTS...
  local expected=$1 status=0; shift
  rm -f "$work/Setup.exe"
  TBTOOL=$tbtool "$source_dir/scripts/make-installer" --template "$work/sample/SampleBar.tb" \
    --icons "$work/sample/Icons.bin" --out "$work/Setup.exe" "$@" >"$work/out.txt" 2>&1 || status=$?
  [ "$status" = 2 ] || fail "$* exits with $status, not 2"
  grep -qF -e "$expected" "$work/out.txt" || fail "$*: not \"$expected\": $(cat "$work/out.txt")"
  [ ! -e "$work/Setup.exe" ] || fail "$*: an installer was written"
}
brand_case "branding $work/SampleBar.dll failed" --toolbar32 "$work/SampleBar.dll"
brand_case "not both" --toolbar32 "$work/SampleBar.dll" --lib32 "$work/SampleBar.dll"
brand_case "--key and --no-key go with --toolbar32" --lib32 "$work/SampleBar.dll" --key "$work/SampleBar.dll"
brand_case "--toolbar32 is required with --toolbar64" --toolbar64 "$work/SampleBar.dll"
brand_case "--key needs a value" --toolbar32 "$work/SampleBar.dll" --key

[ "$failures" = 0 ] && echo "make-installer: all cases passed"
exit $((failures > 0))
