#!/bin/sh
# The sample toolbar at the screen scales people use, through the stand-in browser: tbhost --dpi N
# runs the frame at N DPI, --dump reports the band's height and each button's rectangle. Against
# the toolbar at 96 DPI, at 144 and 192 the band and its buttons are as high as the ratio says
# (within two pixels), the icons are 24 and 32 pixels, the search box is "Search Width" and the logo
# its own width times the ratio, no caption is cut, and the about box is as large as the ratio says.
# The prefix's own scale is back afterwards.
#   dpi_test.sh WINE_RUN TBHOST LIBRARY TBTOOL SAMPLE_FOLDER WORK PREFIX
set -u
wine_run=$1 tbhost=$2 library=$3 tbtool=$4 sample=$5 work=$6 prefix=$7
rm -rf "$work" && mkdir -p "$work"
cp -r "$sample" "$work/src"
python3 - "$work/src/sample-bar.json" <<'PY' || exit 1
import json, sys
source = json.load(open(sys.argv[1]))
source["options"]["Updates URL"] = "http://127.0.0.1:1/"  # refuses at once: nothing leaves this machine
# A class id of its own: registration leaves alone the class key of the driver test's copy.
source["options"]["Toolbar GUID"] = "{6D3C1B52-26B0-4D49-9C1A-0D0E5C9A1926}"
json.dump(source, open(sys.argv[1], "w"))
PY
"$wine_run" "$tbtool" build "Z:$work/src/sample-bar.json" "Z:$work/out" >/dev/null || { echo "cannot build the sample"; exit 1; }
data="$prefix/drive_c/users/$(id -un)/AppData/LocalLow/SampleBar"
rm -rf "$data" && mkdir -p "$data" && cp "$work/out/SampleBar.tb" "$work/out/Icons.bin" "$data/"
cp "$library" "$work/SampleBar.dll"
failed=0
for dpi in 96 144 192; do
  "$wine_run" "$tbhost" --dll "Z:$work/SampleBar.dll" --dpi "$dpi" --dump \
    --dialog-shot "Z:$work/about-$dpi.png" --context 1 --wait 1000 --close >"$work/at-$dpi.jsonl" 2>"$work/at-$dpi.err" \
    || { echo "FAIL tbhost --dpi $dpi exited $?"; cat "$work/at-$dpi.jsonl" "$work/at-$dpi.err"; failed=1; }
done
# Last, a run without --dpi: the prefix is at its own scale again.
"$wine_run" "$tbhost" --dll "Z:$work/SampleBar.dll" --dump --close >"$work/after.jsonl" 2>&1 || failed=1
"$wine_run" regsvr32 /u /s "Z:$work/SampleBar.dll" >/dev/null 2>&1
python3 - "$work" "$work/src/sample-bar.json" <<'PY' || failed=1
import json, struct, sys
work = sys.argv[1]
search_width = json.load(open(sys.argv[2]))["options"].get("Search Width", 145)
def run(name):
    lines = [json.loads(l) for l in open(f"{work}/{name}.jsonl") if l.strip().startswith("{")]
    errors = [l for l in lines if "error" in l]
    assert not errors, f"{name}: {errors}"
    dump = next(l["dump"] for l in lines if "dump" in l)
    return lines, dump["layout"]
def picture_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    return struct.unpack(">II", head[16:24])
failures = []
def check(ok, what):
    if not ok:
        failures.append(what)
lines96, base = run("at-96")
def about_size(lines):
    box = next(l["dialog"] for l in lines if "dialog" in l)
    return box["width"], box["height"]
about96 = about_size(lines96)
for dpi in (96, 144, 192):
    lines, layout = run(f"at-{dpi}")
    ratio = dpi / 96
    scale = [l["dpi"] for l in lines if "dpi" in l]
    check(scale == [{"system": dpi, "window": dpi}], f"{dpi}: the frame's scale {scale}")
    check(layout["dpi"] == dpi, f"{dpi}: the toolbar's scale {layout['dpi']}")
    check(layout["iconSize"] == 16 * dpi // 96, f"{dpi}: icons of {layout['iconSize']}")
    check(abs(layout["height"] - base["height"] * ratio) <= 2, f"{dpi}: band height {layout['height']} for {base['height']}")
    buttons = {b["name"]: b for b in layout["buttons"]}
    for before in base["buttons"]:
        name = before["name"]
        after = buttons.get(name)
        if after is None:
            failures.append(f"{dpi}: {name} is not shown")
            continue
        height = after["bottom"] - after["top"]
        width = after["right"] - after["left"]
        check(abs(height - (before["bottom"] - before["top"]) * ratio) <= 2, f"{dpi}: {name} is {height} high")
        if after["caption"]:
            check(width >= layout["iconSize"] + after["textWidth"], f"{dpi}: {name}'s caption is cut ({width} wide)")
        if name == "TBControlItem1":
            check(abs(width - search_width * ratio) <= 1, f"{dpi}: the search box is {width} wide")
        if name == "MediaControl":
            check(abs(width - (before["right"] - before["left"]) * ratio) <= 1, f"{dpi}: the logo is {width} wide")
    about = about_size(lines)
    check(picture_size(f"{work}/about-{dpi}.png")[0] > 0, f"{dpi}: no picture of the about box")
    check(all(abs(a - b * ratio) <= 2 for a, b in zip(about, about96)), f"{dpi}: about box {about} for {about96}")
    print(f"{dpi} DPI: band {layout['height']}, icons {layout['iconSize']}, about box {about[0]}x{about[1]}, buttons " +
          " ".join(f"{b['name']}={b['right'] - b['left']}x{b['bottom'] - b['top']}" for b in layout["buttons"]))
_, after = run("after")
check(after == base, "the prefix's scale is not back after the runs")
for f in failures:
    print("FAIL", f)
sys.exit(1 if failures else 0)
PY
exit $failed
