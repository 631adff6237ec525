#!/usr/bin/env bash
# The extension's part of the demo: lays out a sample action library beside a
# copy of Zentrik.dll, right-clicks two sample files through the shell host
# (which prints the Zentrik submenu with each item's help text), then picks
# one action and shows the command line the started program received.
#
#   extension_demo.sh BUILD_DIR LIBRARY_DIR
#
# BUILD_DIR is a cross build (win32 or win64) with Zentrik, shell_host,
# RecordArgs and make_shortcut built; LIBRARY_DIR a Unix path inside
# $WINEPREFIX (created, replaced if it exists). Needs WINEPREFIX and DISPLAY
# set and a warm wineserver.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: extension_demo.sh BUILD_DIR LIBRARY_DIR" >&2
  exit 2
fi
build=$1 library=$2
: "${WINEPREFIX:?set WINEPREFIX}" "${DISPLAY:?set DISPLAY}"

rm -rf "$library"
mkdir -p "$library/EXT" "$library/EXT.txt.log" "$library/VERB" "$library/documents"
cp "$build/bin/Zentrik.dll" "$build/bin/shell_host.exe" "$build/bin/RecordArgs.exe" "$library/"
win() { winepath -w "$1" 2>/dev/null; }
lib_win=$(win "$library")
recorder="$lib_win\\RecordArgs.exe"

# The library: "Show arguments" for every file, "Text viewer" (order 5) for
# .txt and .log files, "Print" in a verb group (offered for no file).
shortcut() { wine "$build/bin/make_shortcut.exe" "$@" </dev/null; }
shortcut "$lib_win\\EXT\\Show arguments.lnk" "$recorder" "--from-zentrik"
shortcut "$lib_win\\EXT.txt.log\\Text viewer.(5).lnk" "$recorder" "--view"
shortcut "$lib_win\\VERB\\Print.lnk" "$recorder" "--print"
printf '[options]\nHideEmpty=0\n' >"$library/Zentrik.ini"
printf 'notes\n' >"$library/documents/meeting notes.txt"
printf 'report\n' >"$library/documents/report.txt"
echo "extension: sample library in $lib_win"
(cd "$library" && find . -path ./documents -prune -o -print | sort | sed 's/^/extension:   /')

files=("$lib_win\\documents\\meeting notes.txt" "$lib_win\\documents\\report.txt")
record="$library/documents/record.txt"
export ZK_RECORD_FILE="$lib_win\\documents\\record.txt"
rm -f "$record"

echo "extension: right-click on: ${files[*]}"
wine "$library/shell_host.exe" --dll "$lib_win\\Zentrik.dll" --invoke "Show arguments" "${files[@]}" </dev/null \
  2>&1 | tr -d '\r' | sed 's/^/extension: /'
for _ in $(seq 1 100); do
  [ -f "$record" ] && break
  sleep 0.1
done
if [ ! -f "$record" ]; then
  echo "extension: the action did not start" >&2
  exit 1
fi
echo "extension: the action \"Show arguments\" received (short names of the selected files, in order):"
tr -d '\r' <"$record" | sed 's/^/extension:   /'
