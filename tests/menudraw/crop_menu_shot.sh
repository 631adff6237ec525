#!/usr/bin/env bash
# Turns the screen a shell_host --screenshot saved (a .bmp) into a PNG cropped
# to the union of the open menu windows that shell_host printed ("menu
# window: L T R B" lines), with a margin of 10 pixels. Without such lines the
# whole screen is kept. Prints the geometry used.
#
#   crop_menu_shot.sh HOST_OUTPUT_FILE SCREEN_BMP OUTPUT_PNG
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: crop_menu_shot.sh HOST_OUTPUT_FILE SCREEN_BMP OUTPUT_PNG" >&2
  exit 2
fi
output=$1 shot=$2 png=$3

geometry=$(awk '/menu window: / {
    sub(/.*menu window: /, "")
    if (n == 0 || $1 < l) l = $1; if (n == 0 || $2 < t) t = $2
    if (n == 0 || $3 > r) r = $3; if (n == 0 || $4 > b) b = $4; n++ }
  END { if (n == 0) exit 1
        l -= 10; t -= 10; if (l < 0) l = 0; if (t < 0) t = 0
        printf "%dx%d+%d+%d", r + 10 - l, b + 10 - t, l, t }' "$output") || geometry=""
mkdir -p "$(dirname "$png")"
if [ -n "$geometry" ]; then
  convert "$shot" -crop "$geometry" +repage "$png"
else
  convert "$shot" "$png"
  geometry="whole screen"
fi
echo "$geometry"
