#!/usr/bin/env bash
# The publisher's installer under Wine, in a Wine prefix of its own (the whole run shares it, so
# installs never leak into the other suites), with the stand-in browser process (tbiexplore.exe)
# registered there in place of Wine's, so that registration can succeed.
#   install_test.sh BUILD_DIR SOURCE_DIR CASE
# Cases (ctest runs them in this order, one at a time):
#   setup          a fresh prefix, the stand-in registered, the sample branded, the installers made
#   stand-in       regsvr32 of the library succeeds, and the stand-in saw the two ShowBrowserBar calls
#   like-original  the branded copy registers exactly as the original does (only its path differs)
#   install        silent install: files, bar key, registration, list of programs, data folder;
#                  the stand-in browser shows the toolbar of the installed library
#   second-user    a user with no data folder gets the carried template's toolbar
#   upgrade        installing over an install keeps what users have in their data folders
#   uninstall      silent uninstall leaves only the data folders
#   refusal        a registration that fails leaves nothing installed, and the installer says so
#   teardown       the prefix's server stopped and the prefix removed
# Exit 77 (ctest: skipped) with the reason when this machine cannot run the installer.
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
case_name=$3
work=$build/install-test
export TB_WINE_PREFIX=$work/prefix
wine_run=$build/wine-run
tbtool=${TBTOOL:-$source_dir/build/native/tools/tbtool}

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
failures=0

if [ "$case_name" = teardown ]; then
  "$wine_run" --down || true
  rm -rf "$work"
  exit 0
fi
# NSIS installers are 32-bit programs; the 64-bit build runs only the registration cases.
reason=$("$wine_run" --can-run) || skip "this machine cannot run ${TB_BITS:-32}-bit Windows programs ($reason)$([ "${TB_BITS:-32}" = 32 ] && echo ', and NSIS installers are 32-bit programs')"
command -v makensis >/dev/null || skip "makensis (Debian's nsis) is not installed"
[ -x "$tbtool" ] || skip "the native authoring tool $tbtool is not built (cmake --build --preset native --target tbtool)"

run() { "$wine_run" "$@" </dev/null; }
# `reg query` output with Windows line ends removed; empty when the key or value is missing (Wine's
# reg says so on standard output, with exit code 1).
query() {
  local text
  text=$(run reg query "$@" 2>/dev/null) || return 0
  tr -d '\r' <<<"$text"
}
class_id='{7E0D4B2A-5C3F-4A61-9B8E-2D1C0F3A6B5E}'
bar_key="HKLM\\SOFTWARE\\Microsoft\\Internet Explorer\\Explorer Bars\\$class_id"
arp_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\SampleBar'
program_files=$work/prefix/drive_c/Program\ Files/Sample\ Bar
# The data folder of the prefix's user (Wine names the user after the Linux one).
user=$(id -un)
data=$work/prefix/drive_c/users/$user/AppData/LocalLow/SampleBar
record=$work/record.jsonl
export TB_IEXPLORE_RECORD="Z:$record"

show_bar_calls() { grep -c '"call":"ShowBrowserBar"' "$record" 2>/dev/null || true; }

install_silently() {
  local status=0
  run "Z:$work/$1" /S || status=$?
  echo "$status"
}

ensure_installed() {
  [ -f "$program_files/SampleBar.dll" ] && return 0
  local status
  status=$(install_silently SampleBarSetup.exe)
  [ "$status" = 0 ] || { echo "FAILED: the install this case needs exited with $status" >&2; exit 1; }
}

# Runs the installed uninstaller silently and waits for it: NSIS copies it to the temporary folder
# and runs the copy, so the first process ends at once.
uninstall_silently() {
  run "C:\\Program Files\\Sample Bar\\uninstall.exe" /S || true
  for _ in $(seq 1 120); do
    [ -e "$program_files" ] || [ -n "$(query "$arp_key")" ] || break
    sleep 0.5
  done
}

case "$case_name" in
setup)
  "$wine_run" --down >/dev/null 2>&1 || true
  rm -rf "$work" && mkdir -p "$work"
  "$wine_run" --up
  run "Z:$build/tbiexplore.exe" --register
  # The sample under a class id of its own, so the installs here touch nothing of the default's.
  cp -r "$source_dir/samples/sample-bar" "$work/src"
  python3 - "$work/src/sample-bar.json" "$class_id" <<'PY'
import json, sys
path, class_id = sys.argv[1:]
source = json.load(open(path))
source["options"]["Toolbar GUID"] = class_id
json.dump(source, open(path, "w"), indent=1)
PY
  "$tbtool" build "$work/src/sample-bar.json" "$work/sample" >/dev/null
  # An older edition of the template, as a user who installed before the upgrade may have it.
  python3 - "$work/src/sample-bar.json" <<'PY'
import json, sys
source = json.load(open(sys.argv[1]))
source["options"]["Version"] = "0.9"
json.dump(source, open(sys.argv[1], "w"), indent=1)
PY
  "$tbtool" build "$work/src/sample-bar.json" "$work/sample-0.9" >/dev/null
  "$tbtool" brand "$build/Toolbar.dll" "$work/sample/SampleBar.tb" "$work/sample/Icons.bin" --out "$work/SampleBar.dll"
  [ "${TB_BITS:-32}" = 32 ] || exit 0
  TBTOOL=$tbtool "$source_dir/scripts/make-installer" --name "Sample Bar" --member-id 4711 --lib32 "$work/SampleBar.dll" \
    --template "$work/sample/SampleBar.tb" --icons "$work/sample/Icons.bin" --out "$work/SampleBarSetup.exe"
  ;;

stand-in)
  mkdir -p "$work/plain"
  cp "$build/Toolbar.dll" "$work/plain/StandInBar.dll"
  rm -f "$record"
  status=0; run regsvr32 /s "Z:$work/plain/StandInBar.dll" || status=$?
  [ "$status" = 0 ] || fail "regsvr32 of the library exited with $status"
  cat "$record" 2>/dev/null || true
  [ "$(show_bar_calls)" = 2 ] || fail "the stand-in saw $(show_bar_calls) ShowBrowserBar calls, not 2"
  grep '"call":"ShowBrowserBar"' "$record" | sed -n 1p | grep -q '"show":{"vt":0}' || fail "the first call does not hide (empty show)"
  grep '"call":"ShowBrowserBar"' "$record" | sed -n 2p | grep -q '"show":{"vt":11,"value":-1}' || fail "the second call does not show (VARIANT_TRUE)"
  [ "$(grep -c '"text":"{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}"' "$record")" = 2 ] || fail "the calls do not name the library's class id"
  status=0; run regsvr32 /s /u "Z:$work/plain/StandInBar.dll" || status=$?
  [ "$status" = 0 ] || fail "regsvr32 /u exited with $status"
  ;;

like-original)
  # The original with the sample template in the user's data folder, then the branded copy with no
  # data folder: both must write the same entries under the same class id.
  listing() {
    { query "HKCR\\CLSID\\$class_id" /s
      query 'HKLM\SOFTWARE\Microsoft\Internet Explorer\Toolbar' /v "$class_id"
      query 'HKLM\SOFTWARE\Microsoft\Internet Explorer\Explorer Bars' /v "$class_id"; } >"$work/listing"
    local text path=${1//\//\\}
    text=$(cat "$work/listing")
    echo "${text//"$path"/LIBRARY}"
  }
  rm -rf "$work/original" "$work/branded" "$data"
  mkdir -p "$work/original" "$work/branded" "$data"
  cp "$build/Toolbar.dll" "$work/original/SampleBar.dll"
  cp "$work/SampleBar.dll" "$work/branded/SampleBar.dll"
  cp "$work/sample/SampleBar.tb" "$data/SampleBar.tb"
  status=0; run regsvr32 /s "Z:$work/original/SampleBar.dll" || status=$?
  [ "$status" = 0 ] || fail "regsvr32 of the original exited with $status"
  original=$(listing "Z:$work/original/SampleBar.dll")
  run regsvr32 /s /u "Z:$work/original/SampleBar.dll" || fail "unregistering the original failed"
  rm -rf "$data"
  status=0; run regsvr32 /s "Z:$work/branded/SampleBar.dll" || status=$?
  [ "$status" = 0 ] || fail "regsvr32 of the branded copy exited with $status"
  branded=$(listing "Z:$work/branded/SampleBar.dll")
  run regsvr32 /s /u "Z:$work/branded/SampleBar.dll" || fail "unregistering the branded copy failed"
  echo "$branded"
  grep -q 'InprocServer32' <<<"$original" || fail "the original registered nothing under $class_id"
  grep -q '(Default)    REG_SZ    LIBRARY' <<<"$branded" || fail "the branded copy's server is not its own path"
  [ "$original" = "$branded" ] || { fail "the entries differ"; diff <(echo "$original") <(echo "$branded") || true; }
  rm -rf "$data"
  ;;

inputs)
  # make-installer refuses libraries of the wrong kind, and writes no installer then.
  printf 'not a library\n' > "$work/Junk.dll"
  mkdir -p "$work/x64" && cp "$work/SampleBar.dll" "$work/x64/SampleBar.dll"
  for libs in "--lib32 $work/Junk.dll" "--lib32 $work/SampleBar.dll --lib64 $work/x64/SampleBar.dll"; do
    rm -f "$work/Refused.exe"
    status=0
    # shellcheck disable=SC2086
    TBTOOL=$tbtool "$source_dir/scripts/make-installer" --name "Sample Bar" $libs --template "$work/sample/SampleBar.tb" \
      --icons "$work/sample/Icons.bin" --out "$work/Refused.exe" 2>"$work/refused.txt" || status=$?
    [ "$status" = 2 ] || fail "make-installer $libs exited with $status, not 2"
    grep -q 'is no ..-bit Windows library' "$work/refused.txt" || fail "make-installer $libs gave no reason"
    [ -e "$work/Refused.exe" ] && fail "make-installer $libs wrote an installer"
  done
  # Both libraries in one installer, where this tree has a 64-bit build to brand.
  if [ -f "$source_dir/build/win64/Toolbar.dll" ]; then
    "$tbtool" brand "$source_dir/build/win64/Toolbar.dll" "$work/sample/SampleBar.tb" "$work/sample/Icons.bin" \
      --out "$work/x64/SampleBar.dll" >/dev/null
    rm -f "$work/Both.exe"
    TBTOOL=$tbtool "$source_dir/scripts/make-installer" --name "Sample Bar" --lib32 "$work/SampleBar.dll" \
      --lib64 "$work/x64/SampleBar.dll" --template "$work/sample/SampleBar.tb" --icons "$work/sample/Icons.bin" \
      --out "$work/Both.exe" || fail "make-installer with both libraries failed"
    [ -s "$work/Both.exe" ] || fail "make-installer with both libraries wrote no installer"
  else
    echo "note: no build/win64/Toolbar.dll here, so no installer with both libraries was made"
  fi
  ;;

install)
  rm -f "$record"
  status=$(install_silently SampleBarSetup.exe)
  [ "$status" = 0 ] || fail "the silent install exited with $status"
  for f in SampleBar.dll uninstall.exe; do
    [ -f "$program_files/$f" ] || fail "Program Files\\Sample Bar\\$f is missing"
  done
  cmp -s "$program_files/SampleBar.dll" "$work/SampleBar.dll" || fail "the installed library is not the branded one"
  bar=$(query "$bar_key")
  echo "$bar"
  grep -q 'Toolbar Name    REG_SZ    Sample Bar$' <<<"$bar" || fail "no Toolbar Name under the bar key"
  grep -q 'Member Id    REG_SZ    4711$' <<<"$bar" || fail "no Member Id under the bar key"
  server=$(query "HKCR\\CLSID\\$class_id\\InprocServer32")
  echo "$server"
  # The path is registered in its short form (it holds a blank): it must name the installed file.
  server_path=$(sed -n 's/^ *(Default)    REG_SZ    //p' <<<"$server")
  server_file=$(run winepath -u "$server_path" 2>/dev/null | tr -d '\r' || true)
  [ -n "$server_path" ] && [ "$(realpath "$server_file" 2>/dev/null)" = "$(realpath "$program_files/SampleBar.dll")" ] \
    || fail "the class is served by $server_path ($server_file), not by the installed library"
  grep -q "$class_id    REG_SZ    Sample Bar" <<<"$(query 'HKLM\SOFTWARE\Microsoft\Internet Explorer\Toolbar' /v "$class_id")" \
    || fail "the browser's list of toolbars does not name the band"
  arp=$(query "$arp_key")
  grep -q 'DisplayName    REG_SZ    Sample Bar' <<<"$arp" || fail "no entry in the list of programs"
  grep -q 'QuietUninstallString' <<<"$arp" || fail "the entry has no silent uninstall"
  [ "$(show_bar_calls)" = 2 ] || fail "registration asked the browser $(show_bar_calls) times, not twice"
  cmp -s "$data/SampleBar.tb" "$work/sample/SampleBar.tb" || fail "the data folder has no template"
  cmp -s "$data/Icons.bin" "$work/sample/Icons.bin" || fail "the data folder has no icon store"
  # The stand-in browser finds the band through the registry alone (the browser's Toolbar key and
  # the class's server) and shows it.
  dump=$(run "Z:$build/tbhost.exe" --dump 2>&1 | tr -d '\r' || true)
  echo "$dump"
  grep -qi "\"band\":\"$class_id\",\"built_ms\"" <<<"$dump" || fail "the stand-in browser did not host the band from the registry"
  grep -q '"Home"' <<<"$dump" || fail "the installed library's toolbar has no Home button"
  ;;

second-user)
  ensure_installed
  # A user who never ran the installer has no data folder at all.
  rm -rf "$data"
  dump=$(run "Z:$build/tbhost.exe" --dump 2>&1 | tr -d '\r' || true)
  echo "$dump"
  grep -q '"Home"' <<<"$dump" || fail "a user without a data folder does not get the carried toolbar"
  grep -q '"News"' <<<"$dump" || fail "a user without a data folder does not get the carried toolbar's buttons"
  [ -f "$data/SampleBar.tb" ] && fail "the carried template was written into the user's data folder"
  [ -d "$data" ] || fail "the user's data folder was not made"
  ;;

upgrade)
  ensure_installed
  mkdir -p "$data"
  cp "$work/sample-0.9/SampleBar.tb" "$data/SampleBar.tb"
  rm -f "$data/Icons.bin"
  printf 'term\n' > "$data/History.txt"
  status=$(install_silently SampleBarSetup.exe)
  [ "$status" = 0 ] || fail "installing over the install exited with $status"
  cmp -s "$data/SampleBar.tb" "$work/sample-0.9/SampleBar.tb" || fail "the upgrade replaced the user's template"
  [ "$(cat "$data/History.txt")" = term ] || fail "the upgrade lost the user's history"
  [ -f "$data/Icons.bin" ] || fail "the upgrade did not add the missing icon store"
  grep -q 'Member Id    REG_SZ    4711$' <<<"$(query "$bar_key")" || fail "the bar key is gone after the upgrade"
  [ -n "$(query "HKCR\\CLSID\\$class_id\\InprocServer32")" ] || fail "the band is not registered after the upgrade"
  ;;

uninstall)
  ensure_installed
  mkdir -p "$data" && printf 'term\n' > "$data/History.txt"
  # A damaged template in the uninstalling user's data folder: the library then unregisters another
  # class id than the installed one, and the uninstaller must still remove the band's entries.
  printf 'not a template\n' > "$data/SampleBar.tb"
  uninstall_silently
  [ -e "$program_files" ] && { fail "Program Files\\Sample Bar is left"; ls -la "$program_files"; }
  [ -n "$(query "$bar_key")" ] && fail "the bar key is left"
  [ -n "$(query "HKCR\\CLSID\\$class_id")" ] && fail "the class's entries are left"
  [ -n "$(query "$arp_key")" ] && fail "the entry in the list of programs is left"
  query 'HKLM\SOFTWARE\Microsoft\Internet Explorer\Toolbar' | grep -qi "$class_id" && fail "the browser's list of toolbars still names the band"
  query 'HKLM\SOFTWARE\Microsoft\Internet Explorer\Explorer Bars' | grep -qi "$class_id" && fail "the explorer bars still name the band"
  [ "$(cat "$data/History.txt" 2>/dev/null)" = term ] || fail "the silent uninstall removed the user's data folder"
  # The damaged template would steer a later install's registration to another class id.
  rm -f "$data/SampleBar.tb"
  ;;

refusal)
  # Wine's own browser answers ShowBrowserBar with a failure, so registration fails.
  [ -f "$program_files/uninstall.exe" ] && uninstall_silently
  if [ -e "$program_files" ] || [ -n "$(query "$bar_key")" ] || [ -n "$(query "HKCR\\CLSID\\$class_id")" ]; then
    echo "FAILED: an earlier case left the product installed" >&2
    exit 1
  fi
  rm -rf "$data"
  run "Z:$build/tbiexplore.exe" --unregister
  status=$(install_silently SampleBarSetup.exe)
  run "Z:$build/tbiexplore.exe" --register
  [ "$status" = 2 ] || fail "the refusing installer exited with $status, not 2"
  [ -e "$program_files" ] && { fail "Program Files\\Sample Bar is left"; ls -la "$program_files"; }
  [ -n "$(query "$bar_key")" ] && fail "the bar key is left"
  [ -n "$(query "HKCR\\CLSID\\$class_id")" ] && fail "the class's entries are left"
  [ -n "$(query "$arp_key")" ] && fail "the entry in the list of programs is left"
  [ -e "$data/SampleBar.tb" ] && fail "the template was put into the data folder"
  ;;

*) echo "install_test.sh: no case $case_name" >&2; exit 2 ;;
esac
[ "$failures" = 0 ] || { echo "$failures failure(s) in $case_name" >&2; exit 1; }
echo "PASSED: $case_name"
