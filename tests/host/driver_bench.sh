#!/bin/sh
# The measures under Wine: band creation to a built toolbar (three browser processes of five windows
# each) for the sample with an update location that refuses, for the sample with one that answers every request with 304 (a local
# server), and for a 300-item template; the memory each further frame's toolbar adds (eight frames at
# once); and the memory after each of 100 builds and closes in one frame.
#   driver_bench.sh WINE_RUN TBHOST LIBRARY TBTOOL SAMPLE_FOLDER WORK PREFIX
set -eu
wine_run=$1 tbhost=$2 library=$3 tbtool=$4 sample=$5 work=$6 prefix=$7
rm -rf "$work" && mkdir -p "$work"
cp -r "$sample" "$work/src"

# The update location that answers: "not modified" to every request, as for files that are current.
python3 - "$work/port" <<'PY' &
import http.server, sys
class NotModified(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(304)
        self.end_headers()
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), NotModified)
open(sys.argv[1] + ".part", "w").write(str(server.server_address[1]))
__import__("os").rename(sys.argv[1] + ".part", sys.argv[1])
server.serve_forever()
PY
server=$!
trap 'kill $server 2>/dev/null' EXIT
while [ ! -s "$work/port" ]; do sleep 0.1; done

python3 - "$work/src/sample-bar.json" "$work/src/bar300.json" "$work/src/sample304.json" "$(cat "$work/port")" <<'PY'
import json, sys
source = json.load(open(sys.argv[1]))
answered = dict(source, options=dict(source["options"], **{"Updates URL": f"http://127.0.0.1:{sys.argv[4]}/"}))
json.dump(answered, open(sys.argv[3], "w"))
source["options"]["Updates URL"] = "http://127.0.0.1:1/"
json.dump(source, open(sys.argv[1], "w"))
source["items"] = [{"name": f"miItem{i}", "caption": f"Item {i}", "icon": "icons/go-home.png",
                    "url": f"Item {i}|http://www.example.com/{i}"} for i in range(300)]
source["options"]["Main Menu"] = "miItem0"
json.dump(source, open(sys.argv[2], "w"))
PY
"$wine_run" "$tbtool" build "Z:$work/src/sample-bar.json" "Z:$work/sample" >/dev/null
"$wine_run" "$tbtool" build "Z:$work/src/bar300.json" "Z:$work/bar300" >/dev/null
"$wine_run" "$tbtool" build "Z:$work/src/sample304.json" "Z:$work/sample304" >/dev/null
data="$prefix/drive_c/users/$(id -un)/AppData/LocalLow/SampleBar"
cp "$library" "$work/SampleBar.dll"
# One process first, not counted: Wine's desktop process starts with the first window of the prefix
# and may come up after it (that window then goes without a desktop, faster than any later one), and
# the library's registration happens here. Every measure below then has a desktop, as on Windows.
rm -rf "$data" && mkdir -p "$data" && cp "$work/sample/SampleBar.tb" "$work/sample/Icons.bin" "$data/"
"$wine_run" "$tbhost" --dll "Z:$work/SampleBar.dll" --repeat 1 >"$work/warm-up.jsonl"
for bar in sample sample304 bar300; do
  rm -rf "$data" && mkdir -p "$data" && cp "$work/$bar/SampleBar.tb" "$work/$bar/Icons.bin" "$data/"
  # Three browser processes, each opening five windows one after another: the first window of a
  # process also loads the library and the system libraries the stand-in browser does not hold yet
  # (a real browser holds WinInet, the shell and the image codecs long before); the others are the
  # new windows of a running browser.
  for run in 1 2 3; do
    "$wine_run" "$tbhost" --dll "Z:$work/SampleBar.dll" --repeat 5 >"$work/$bar-$run.jsonl"
  done
  python3 - "$bar" "$work"/$bar-*.jsonl <<'PY'
import json, statistics, sys
first, further = [], []
for name in sys.argv[2:]:
    times = [json.loads(l)["built_ms"] for l in open(name) if '"built_ms"' in l]
    first += times[:1]
    further += times[1:]
print(f"{sys.argv[1]}: band creation to a built toolbar, a further window {sorted(further)} ms (median {statistics.median(further)})")
print(f"{sys.argv[1]}: band creation to a built toolbar, a new browser process {sorted(first)} ms (median {statistics.median(first)})")
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

# 100 builds, searches and closes, one after another in one frame: the memory after each build, and
# the windows the thread still has after each close.
"$wine_run" "$tbhost" --dll "Z:$work/SampleBar.dll" --repeat 100 >"$work/repeat.jsonl"
python3 - "$work/repeat.jsonl" <<'PY'
import json, statistics, sys
lines = [json.loads(l) for l in open(sys.argv[1]) if l.startswith("{")]
sizes = [l["private_bytes"] for l in lines if "private_bytes" in l]
left = [l["thread_windows"] for l in lines if "thread_windows" in l]
# The first builds load what stays for the process (the library, WinInet, the image decoders);
# growth is judged from the 11th build on.
tail = sizes[10:]
print(f"repeat: {len(sizes)} builds, private bytes after build 1 {sizes[0]}, 11 {tail[0]}, last {sizes[-1]}; "
      f"median of builds 11-20 {statistics.median(tail[:10])}, of the last 10 {statistics.median(sizes[-10:])}")
print(f"repeat: growth from builds 11-20 to the last 10: "
      f"{(statistics.median(sizes[-10:]) - statistics.median(tail[:10])) / 1024:.0f} KiB")
print(f"repeat: windows the thread kept after each close: max {max(left)}")
PY
