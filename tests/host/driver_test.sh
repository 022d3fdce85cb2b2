#!/bin/sh
# The stand-in browser as a driver, on the sample toolbar: tbhost registers a copy of the library
# named after the sample, hosts its band as the browser does and uses it like a person; then four
# frames on four threads build, search and close at once; four frames against a slow update location.
#   driver_test.sh WINE_RUN TBHOST LIBRARY TBTOOL SAMPLE_FOLDER WORK PREFIX
set -u
wine_run=$1 tbhost=$2 library=$3 tbtool=$4 sample=$5 work=$6 prefix=$7
rm -rf "$work" && mkdir -p "$work"
# The sample, with an update location that refuses at once (nothing leaves this machine).
cp -r "$sample" "$work/src"
python3 - "$work/src/sample-bar.json" <<'PY' || exit 1
import json, sys
source = json.load(open(sys.argv[1]))
source["options"]["Updates URL"] = "http://127.0.0.1:1/"
json.dump(source, open(sys.argv[1], "w"))
PY
"$wine_run" "$tbtool" build "Z:$work/src/sample-bar.json" "Z:$work/out" >/dev/null || { echo "cannot build the sample"; exit 1; }
data="$prefix/drive_c/users/$(id -un)/AppData/LocalLow/SampleBar"
rm -rf "$data" && mkdir -p "$data" && cp "$work/out/SampleBar.tb" "$work/out/Icons.bin" "$data/"
cp "$library" "$work/SampleBar.dll"
dll="Z:$work/SampleBar.dll"
failed=0
check() {  # check NAME EXPECTED_STATUS PYTHON_CHECKS -- tbhost arguments
  name=$1 expected=$2 checks=$3; shift 4
  "$wine_run" "$tbhost" "$@" >"$work/$name.jsonl" 2>"$work/$name.err"
  status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL $name: exit $status, expected $expected"; sed 's/^/  /' "$work/$name.jsonl" "$work/$name.err"; failed=1; return
  fi
  if ! python3 - "$work/$name.jsonl" "$data" "$checks" <<'PY'
import json, os, sys
lines = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
data = sys.argv[2]
calls = [l for l in lines if "call" in l]
urls = [l["url"] for l in calls if l["call"] == "Navigate"]
dialogs = [l["dialog"] for l in lines if "dialog" in l]
errors = [l for l in lines if "error" in l]
handles = {l["handles"]: l for l in lines if "handles" in l}
menus = {l["menu"]: l for l in lines if "levels" in l}
keys = [l for l in lines if "key" in l]
def read(name):
    path = os.path.join(data, name)
    if not os.path.exists(path): return ""
    raw = open(path, "rb").read()
    return raw.decode("utf-16") if raw[:2] == b"\xff\xfe" else raw.decode("latin-1")
for check in sys.argv[3].split(";"):
    if not eval(check):
        print("failed:", check)
        for l in lines: print("  ", json.dumps(l))
        sys.exit(1)
PY
  then failed=1; echo "FAIL $name"; else echo "ok   $name"; fi
}

# A person's first minutes: every action runs, every call the band makes is on the record.
check user 0 '[l for l in lines if l.get("register") and l["listed"]];'\
'[l for l in lines if "dump" in l and "miHome" in json.dumps(l["dump"])];'\
'any(u.startswith("http://www.example.com/") for u in urls);'\
'any("search.example.com/web?q=e2e" in u for u in urls);'\
'any(u.startswith("http://news.example.com/world") for u in urls);'\
'any("Sample Bar" in d["title"] or any("Sample Bar" in t for t in d["texts"]) for d in dialogs);'\
'[c for c in calls if c["call"] == "put_StatusText"];'\
'"e2e" in read("History.txt").split();'\
'"[" in read("Settings.ini");'\
'not errors;'\
'handles["end"]["windows"] == handles["start"]["windows"]' \
  -- --dll "$dll" --dump --hover miHome --click miHome --type "e2e" --key enter --click miNewsWorld \
     --click miAbout --wait 800 --event document-complete --width 700 --context 0 --screenshot "Z:$work/frame.png" --close
[ -s "$work/frame.png" ] || { echo "FAIL no frame picture"; failed=1; }

# Keys and menus as a person uses them: a drop-down opens with the item's sub-items; Shift+Tab in
# the search box (the band's first stop) hands the focus back to the browser, Tab brings it back
# there; Down takes a term from the history, Enter searches.
check keys 0 'any(l.get("menu") == "miNews" and l["items"] == ["World", "Science"] for l in lines);'\
'[l for l in lines if l.get("focus") == "browser" and l["band_has_focus"] is False];'\
'[k["focus"] for k in keys] == ["page", "search box", "search box", "search box"];'\
'[u for u in urls if "search.example.com/web?q=" in u];'\
'all(u.split("q=")[1] != "key-test" and u.split("q=")[1] in read("History.txt").split() for u in urls if "q=" in u);'\
'not errors' \
  -- --dll "$dll" --arrow miNews --type key-test --key shift+tab --key tab --key down --key enter

# Menus at a narrow width: the items that do not fit are on the overflow "»", and an item with a
# command of its own (the split News, the search selector, a sub-menu with an address two levels
# down) offers it as the first entry of its sub-menu, with the icons and checks of the toolbar.
python3 - "$work/src/sample-bar.json" "$work/src/menus.json" <<'PY'
import json, sys
source = json.load(open(sys.argv[1]))
links = [i for i in source["items"] if isinstance(i, dict) and i.get("name") == "miLinks"][0]
links["items"].insert(1, {"name": "miDocs", "caption": "Docs", "url": "Documentation|http://docs.example.com/",
  "items": [{"name": "miDocsFaq", "caption": "FAQ", "url": "http://docs.example.com/faq"}]})
json.dump(source, open(sys.argv[2], "w"))
PY
"$wine_run" "$tbtool" build "Z:$work/src/menus.json" "Z:$work/menus" >/dev/null
cp "$work/menus/SampleBar.tb" "$data/SampleBar.tb"
check menus 0 '[e["caption"] for e in menus["»"]["levels"][0] if e != "-"] == ["Home", "Web", "News", "Links"];'\
'menus["»/News/News"]["levels"][1] == [{"caption": "News", "icon": True}, "-", {"caption": "World"}, {"caption": "Science"}];'\
'urls[0] == "http://news.example.com/";'\
'"search.example.com/web?q=overflow" in urls[1];'\
'menus["»/Web/Images"]["chose"];'\
'[e.get("checked") for e in menus["»/Images/Images"]["levels"][1][2:]] == [None, True, None];'\
'"search.example.com/images?q=overflow" in urls[2];'\
'urls[3] == "http://docs.example.com/" and urls[4] == "http://docs.example.com/";'\
'len(urls) == 5 and not errors' \
  -- --dll "$dll" --width 300 --type overflow --menu "»" --menu "»/News/News" --menu "»/Web/Web" --menu "»/Web/Images" \
     --menu "»/Images/Images" --menu "»/Links/Docs/Docs" --menu "Links/Docs/Docs"
cp "$work/out/SampleBar.tb" "$data/SampleBar.tb"

# A keyboard-only session: Tab into the band, every button and every entry of their menus, the
# commands run by Enter and Space, an engine chosen, a search, the history list opened and closed
# (Alt+Down, F4, Esc), the menus of the buttons and of the search box (Shift+F10), Esc back to the
# page, Shift+Tab in at the end and out at the start.
# Its lines stay in session.jsonl.
check session 0 'set(k["item"] for k in keys if k["focus"] == "button") == {"miHome", "miSearch", "miNews", "miLinks"};'\
'{k["highlighted"] for k in keys if k["focus"] == "menu"} >= {"Web", "Images", "News", "World", "Science", "Favourites", "Calculator", "Contact us", "About Sample Bar"};'\
'urls == ["http://www.example.com/?member=", "http://news.example.com/", "http://news.example.com/science", "mailto:toolbar@example.com", "http://search.example.com/news?q=kbd&member="];'\
'[k.get("list") for k in keys if k["focus"] == "search box"] == [False, False, False, False, True, False, True, False, False];'\
'[any(e != "-" and e["caption"] == c for k in keys if k["focus"] == "menu" for e in k["entries"]) for c in ("Close Sample Bar", "Clear History")] == [True, True];'\
'[k["focus"] for k in keys][-5:] == ["search box", "page", "button", "search box", "page"];'\
'[l for l in lines if l.get("focus") == "browser" and l["band_has_focus"] is False];'\
'"kbd" in read("History.txt").split();'\
'not errors' \
  -- --dll "$dll" --key tab --key tab --key enter --key right --key down --key down --key down --key down --key enter \
     --key right --key space --key alt+down --key down --key down --key enter --key end --key down --key down \
     --key down --key down --key down --key up --key enter --key left --key home --key shift+f10 --key esc \
     --key shift+tab --key shift+f10 --key esc --type kbd --key enter \
     --key alt+down --key esc --key f4 --key esc --key esc --key shift+tab --key shift+tab --key shift+tab

# A person's session: the frame stays until the person closes it (here the close message that the
# system sends when a program is asked to end), then the band is closed and the program ends.
"$wine_run" "$tbhost" --dll "$dll" --interactive >"$work/interactive.jsonl" 2>"$work/interactive.err" &
session=$!
for _ in $(seq 1 100); do grep -q '"built_ms"' "$work/interactive.jsonl" 2>/dev/null && break; sleep 0.2; done
sleep 1
if ! kill -0 "$session" 2>/dev/null; then
  echo "FAIL interactive: ended before it was closed"; failed=1
else
  "$wine_run" taskkill /im "$(basename "$tbhost")" >/dev/null 2>&1
  for _ in $(seq 1 100); do kill -0 "$session" 2>/dev/null || break; sleep 0.2; done
  if kill -0 "$session" 2>/dev/null; then
    echo "FAIL interactive: still running 20 s after it was closed"; kill "$session"; failed=1
  elif wait "$session" && grep -q '"handles":"end"' "$work/interactive.jsonl"; then
    echo "ok   interactive"
  else
    echo "FAIL interactive"; sed 's/^/  /' "$work/interactive.jsonl"; failed=1
  fi
fi

# An item that is not there: the run goes on and says so.
check missing 1 'any("miNoSuchItem" in e.get("action", "") for e in errors)' -- --dll "$dll" --click miNoSuchItem --dump
check usage 2 'True' -- --dll "$dll" --no-such-action

# Four frames on four threads, building, searching and closing in their own order, twice each.
check frames 0 'not [d for d in dialogs if d["title"] == "Error"];'\
'all(f"term-{f}-{r}" in read("History.txt").split() for f in range(1, 5) for r in range(2));'\
'"[" in read("Settings.ini");'\
'handles["end"]["windows"] == handles["start"]["windows"];'\
'all(l["open_windows"] > l["thread_windows"] for l in lines if "round" in l);'\
'len({(l["frame"], l["thread_windows"]) for l in lines if "round" in l}) == 4;'\
'handles["end"]["gdi"] <= handles["start"]["gdi"] + 8;'\
'handles["end"]["kernel"] <= handles["start"]["kernel"] + 8' \
  -- --dll "$dll" --frames 4 --repeat 2
# Damaged and hostile templates in the data folder: the toolbar comes up with what it can build, or
# with an error box that the driver reads and closes; the browser never crashes.
# Besides the fuzz corpus, hostile templates made with the authoring tool from the sample's dump: a
# repeated component name, an item whose parent is itself, a parent that comes later, an image far
# beyond the store, text where a number belongs, a caption of 100 000 characters, 2 000 items.
"$wine_run" "$tbtool" dump "Z:$work/out/SampleBar.tb" >"$work/sample-dump.json"
mkdir -p "$work/hostile"
python3 - "$work/sample-dump.json" "$work/hostile" <<'PY' || exit 1
import copy, json, os, sys
base = json.load(open(sys.argv[1]))
def variant(name, change):
    dump = copy.deepcopy(base)
    sections = {s["name"]: s["id"] for s in dump["sections"]}
    def key(section, name, kind=None, value=None):
        for k in dump["keys"]:
            if k["section"] == sections[section] and k["name"] == name:
                if kind is not None: k["kind"], k["value"] = kind, value
                return k
        k = {"section": sections[section], "name": name, "kind": kind, "value": value}
        dump["keys"].append(k)
        return k
    change(dump, sections, key)
    json.dump(dump, open(os.path.join(sys.argv[2], name + ".json"), "w"))
def many_items(dump, sections, key):
    order = sections["Order"]
    count = max(int(k["name"]) for k in dump["keys"] if k["section"] == order)
    for i in range(2000):
        sid = 1000 + i
        dump["sections"].append({"id": sid, "parent": 0, "name": f"miMany{i}"})
        for name, kind, value in (("Caption", "string", f"Item {i}"), ("Parent", "string", "Toolbar"),
                                  ("Visible", "boolean", True), ("URL", "string", f"http://many.example.com/{i}"),
                                  ("ImageIndex", "integer", i % 12)):
            dump["keys"].append({"section": sid, "name": name, "kind": kind, "value": value})
        dump["keys"].append({"section": order, "name": str(count + 1 + i), "kind": "string", "value": f"miMany{i}"})
variant("repeated-name", lambda d, s, key: key("miNewsSubMenu", "Name", "string", "MIHOME"))
variant("own-parent", lambda d, s, key: key("miNewsSubMenu", "Parent", "string", "miNews"))
variant("later-parent", lambda d, s, key: key("miHome", "Parent", "string", "miLinks"))
variant("image-far-beyond", lambda d, s, key: key("miHome", "ImageIndex", "integer", 2147483647))
variant("text-for-number", lambda d, s, key: key("miHome", "ImageIndex", "string", "two"))
variant("long-caption", lambda d, s, key: key("miHome", "Caption", "string", "W" * 100000))
variant("many-items", many_items)
PY
for variant in "$work"/hostile/*.json; do
  "$wine_run" "$tbtool" pack "Z:$variant" "Z:${variant%.json}.tb" >/dev/null || { echo "FAIL cannot pack $variant"; failed=1; }
done
corpus=$(dirname "$0")/../../fuzz/corpus
for damaged in "$corpus"/storage_file/* $(ls "$corpus"/toolbar_build/* 2>/dev/null | head -6) "$work"/hostile/*.tb; do
  cp "$damaged" "$data/SampleBar.tb"
  "$wine_run" "$tbhost" --dll "$dll" --dump --close >"$work/damaged.jsonl" 2>"$work/damaged.err"
  status=$?
  # Hosted and ended normally, with a toolbar described or an error box read and closed.
  if [ "$status" -gt 1 ] || ! grep -q '"handles":"end"' "$work/damaged.jsonl" ||
     ! grep -q '"built_ms"' "$work/damaged.jsonl" || ! grep -q '"dump"\|"dialog"' "$work/damaged.jsonl"; then
    echo "FAIL damaged template $(basename "$damaged"): exit $status"; sed 's/^/  /' "$work/damaged.jsonl"; failed=1
  else
    echo "ok   damaged template $(basename "$damaged") (exit $status, $(grep -c '"dialog"' "$work/damaged.jsonl") box(es))"
  fi
done
cp "$work/out/SampleBar.tb" "$data/SampleBar.tb"

# CloseDW while the toolbar builds: a slow update location keeps the build's message loop running
# when the close comes. The band goes without a crash or an error box, and the next one builds.
port=$((20000 + $$ % 10000))
python3 -c '
import http.server, sys, time
class Slow(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        time.sleep(3); self.send_response(404); self.end_headers()
    def log_message(self, *a): pass
http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), Slow).serve_forever()' "$port" &
server=$!
python3 - "$work/src/sample-bar.json" "$work/src/slow.json" "$port" <<'PY'
import json, sys
source = json.load(open(sys.argv[1]))
source["options"]["Updates URL"] = f"http://127.0.0.1:{sys.argv[3]}/"
json.dump(source, open(sys.argv[2], "w"))
PY
"$wine_run" "$tbtool" build "Z:$work/src/slow.json" "Z:$work/slow" >/dev/null
cp "$work/slow/SampleBar.tb" "$data/SampleBar.tb"
check closing 0 '[l for l in lines if l.get("closing_while_building")];'\
'[l for l in lines if l.get("closed") and l["hosting"] is False];'\
'not [d for d in dialogs if d["title"] == "Error"];'\
'handles["end"]["windows"] == handles["start"]["windows"]' -- --dll "$dll" --close-while-building 500
# Four frames build at once against the same slow location: one update runs (and says so in
# Update.log), the other three build with the files as they are, and every frame comes up.
rm -f "$data/Update.log"
check slow-frames 0 'len([l for l in lines if "built_ms" in l]) == 4;'\
'read("Update.log").count("skipped: another window is updating") == 3;'\
'read("Update.log").count("failed: SampleBar.tb: the server answered 404") == 1;'\
'read("SampleBar.tb") != "";'\
'not [d for d in dialogs if d["title"] == "Error"]' -- --dll "$dll" --frames 4
kill $server 2>/dev/null

# CloseDW and the last release while the once-a-day splash shows (its message loop runs when the
# close comes): the band goes, the splash ends on its own, the day is kept, nothing crashes.
python3 - "$work/src/sample-bar.json" "$work/src/splash.json" <<'PY'
import json, sys
source = json.load(open(sys.argv[1]))
source["options"]["About Show"] = True
json.dump(source, open(sys.argv[2], "w"))
PY
"$wine_run" "$tbtool" build "Z:$work/src/splash.json" "Z:$work/splash" >/dev/null
cp "$work/splash/SampleBar.tb" "$data/SampleBar.tb"
python3 - "$data/Settings.ini" <<'PY'
import sys
path = sys.argv[1]
try:
    lines = open(path, encoding="latin-1").read().splitlines()
except FileNotFoundError:
    lines = []
open(path, "w", encoding="latin-1").write("\r\n".join(l for l in lines if not l.startswith("Date=")) + "\r\n")
PY
check splash 0 '[l for l in lines if "closing_during_splash" in l];'\
'[l for l in lines if l.get("closed") and l["hosting"] is False];'\
'not [d for d in dialogs if d["title"] == "Error"];'\
'"Date=" in read("Settings.ini");'\
'handles["end"]["windows"] == handles["start"]["windows"]' -- --dll "$dll" --close-during-splash
cp "$work/out/SampleBar.tb" "$data/SampleBar.tb"
exit $failed
