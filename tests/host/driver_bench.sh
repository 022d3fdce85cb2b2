#!/bin/sh
# The measures under Wine, one run each: band creation to a built toolbar for the sample and for a
# 300-item template, and the memory each further frame's toolbar adds (eight frames at once).
#   driver_bench.sh WINE_RUN TBHOST LIBRARY TBTOOL SAMPLE_FOLDER WORK PREFIX
set -eu
wine_run=$1 tbhost=$2 library=$3 tbtool=$4 sample=$5 work=$6 prefix=$7
rm -rf "$work" && mkdir -p "$work"
cp -r "$sample" "$work/src"
python3 - "$work/src/sample-bar.json" "$work/src/bar300.json" <<'PY'
import json, sys
source = json.load(open(sys.argv[1]))
source["options"]["Updates URL"] = "http://127.0.0.1:1/"
json.dump(source, open(sys.argv[1], "w"))
source["items"] = [{"name": f"miItem{i}", "caption": f"Item {i}", "icon": "icons/go-home.png",
                    "url": f"Item {i}|http://www.example.com/{i}"} for i in range(300)]
source["options"]["Main Menu"] = "miItem0"
json.dump(source, open(sys.argv[2], "w"))
PY
"$wine_run" "$tbtool" build "Z:$work/src/sample-bar.json" "Z:$work/sample" >/dev/null
"$wine_run" "$tbtool" build "Z:$work/src/bar300.json" "Z:$work/bar300" >/dev/null
data="$prefix/drive_c/users/$(id -un)/AppData/LocalLow/SampleBar"
cp "$library" "$work/SampleBar.dll"
for bar in sample bar300; do
  rm -rf "$data" && mkdir -p "$data" && cp "$work/$bar/SampleBar.tb" "$work/$bar/Icons.bin" "$data/"
  for run in 1 2 3; do
    "$wine_run" "$tbhost" --dll "Z:$work/SampleBar.dll" --close >"$work/$bar-$run.jsonl"
  done
  python3 - "$bar" "$work"/$bar-*.jsonl <<'PY'
import json, sys
times = [json.loads(l)["built_ms"] for f in sys.argv[2:] for l in open(f) if '"built_ms"' in l]
print(f"{sys.argv[1]}: band creation to a built toolbar {sorted(times)} ms (median {sorted(times)[len(times)//2]})")
PY
done
rm -rf "$data" && mkdir -p "$data" && cp "$work/sample/SampleBar.tb" "$work/sample/Icons.bin" "$data/"
"$wine_run" "$tbhost" --dll "Z:$work/SampleBar.dll" --frames 8 --wait 2000 --close >"$work/frames.jsonl"
python3 - "$work/frames.jsonl" <<'PY'
import json, sys
sizes = [json.loads(l)["private_bytes"] for l in open(sys.argv[1]) if '"private_bytes"' in l]
sizes.sort()
print(f"memory: {len(sizes)} frames, private bytes after each build {sizes}")
print(f"memory each further frame adds: {(sizes[-1] - sizes[0]) / (len(sizes) - 1) / 1024:.0f} KiB")
PY
