#!/bin/sh
# The about box with the sample's options under Xvfb and Wine's X11 driver, in a Wine prefix of its
# own (wine-run --x11): the test program shows the box and this script takes the screen while it shows
# (OUT/about-box-screen.png). Exit 77 (skipped) when Xvfb, xwd or ImageMagick is missing.
#   about_box_screenshot.sh WINE_RUN TEST_PROGRAM OUT PREFIX
set -u
wine_run=$1 program=$2 out=$3 prefix=$4
for tool in xvfb-run xwd /usr/bin/convert; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed (Xvfb, x11-apps, imagemagick)"; exit 77; }
done
mkdir -p "$out" && rm -f "$out"/about-box*
export TB_WINE_PREFIX="$prefix"
"$wine_run" --x11 sh -c '
  wine_run=$1 program=$2 out=$3
  TB_SCREENSHOT_DIR="Z:$out" "$wine_run" "$program" --gtest_filter=WindowTest.AboutBoxScreenshotWithTheSamplesOptions &
  pid=$!
  i=0
  while [ ! -f "$out/about-box.shown" ] && [ $i -lt 900 ] && kill -0 $pid 2>/dev/null; do sleep 0.1; i=$((i+1)); done
  if [ -f "$out/about-box.shown" ]; then
    sleep 0.5
    xwd -root -display "$DISPLAY" -silent | /usr/bin/convert xwd:- "$out/about-box-screen.png"
  fi
  touch "$out/about-box.taken"
  wait $pid
  status=$?
  [ -s "$out/about-box-screen.png" ] || { echo "no screen picture taken"; exit 1; }
  exit $status' sh "$wine_run" "$program" "$out"
