#!/usr/bin/env bash
# The demo: Zentrik as a user meets it, under Wine.
#
#   bash scripts/demo.sh [--update-docs]
#
#  1. builds the release binaries and the packages (scripts/package.sh);
#  2. makes a fresh Wine prefix of its own (build/demo/wineprefix) and runs
#     the installer silently (setup.exe /S), then shows what it installed and
#     registered;
#  3. opens the installed settings program and pictures its dialog;
#  4. right-click, the way the shell does it: the shell folder's own context
#     menu for a text file (Open, Cut, Copy, Delete, Properties...) with the
#     Zentrik submenu merged into the same menu by the installed extension,
#     created through the registry; the submenu is opened with the starter
#     actions and their program icons and pictured (shell_host --shell-menu:
#     Wine's own shell does not load context-menu handlers);
#  5. adds an action to the library as a user would (a shortcut to a program
#     that records its command line), runs it from the menu and shows what
#     the program received;
#  6. uninstalls silently and shows that nothing of Zentrik is left in the
#     registry, and what is left on disk (the user's own action).
#
# Pictures, cropped to the window and the menu: build/demo/settings.png,
# build/demo/menu.png, and build/demo/menu-{light,dark}-{100,150}.png (the
# menu in the light and the dark app mode at 100 % and 150 % display scale);
# --update-docs also copies them to docs/.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/wine-env.sh
update_docs=false
[ "${1:-}" = "--update-docs" ] && update_docs=true

bash scripts/setup.sh || exit 1
mkdir -p build/logs build/demo
bash scripts/package.sh || exit 1
# The demo's hand on the dialog (not part of the packages).
cmake --build --preset win64-release --target props_driver >build/logs/demo-build.log 2>&1 ||
  { tail -n 20 build/logs/demo-build.log; echo "demo: building props_driver failed" >&2; exit 1; }
version=$(sed -nE 's/^project\(Zentrik VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
setup="build/packages/Zentrik-$version-setup.exe"
rel64=build/win64-release/bin
rel32=build/win32-release/bin
clsid='{5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}'

say() { printf '\n=== %s\n' "$*"; }
wine_q() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
fail() { echo "demo: $*" >&2; exit 1; }

work_zip="$root/build/demo/zip"
say "A fresh Wine prefix: build/demo/wineprefix"
zk_wine_env "$root/build/demo/wineprefix"
zk_wine_server_stop
rm -rf "$WINEPREFIX"
zk_wine_prefix_ensure || exit 1
cleanup() {
  zk_wine_server_stop
  zk_xvfb_stop
}
trap cleanup EXIT
zk_xvfb_start || exit 1
zk_wine_server_ensure 3600

dir_win="$(wine_q cmd /c echo %LOCALAPPDATA%)\\Programs\\Zentrik"
dir=$(winepath -u "$dir_win" 2>/dev/null)
if [ "$ZK_WINE32" != no ]; then
  how=""
  [ "$ZK_WINE32" = qemu ] && how="; a 32-bit program, run under qemu-i386: this kernel runs no 32-bit code"
  say "Installing: $setup /S ($(stat -c %s "$setup") bytes$how)"
  wine "$setup" /S </dev/null >/dev/null 2>&1 || fail "the installer failed"
else
  # The installer is a 32-bit program, and this machine has no way to run
  # one (ZK_WINE32_WHY). The x64 zip holds the same files for 64-bit Windows.
  say "No 32-bit program can run here (the installer is one: $ZK_WINE32_WHY): the x64 zip, unpacked and enabled instead"
  zip="build/packages/Zentrik-$version-win64.zip"
  rm -rf "$work_zip" && mkdir -p "$work_zip" "$dir" && unzip -q "$zip" -d "$work_zip" || fail "cannot unpack $zip"
  cp -r "$work_zip/Zentrik-$version-win64/." "$dir/"
  wine "$dir/Zentprops.exe" /enable /quiet </dev/null >/dev/null 2>&1 || fail "Zentprops.exe /enable failed"
  echo "unpacked $zip into $dir_win and ran Zentprops.exe /enable"
fi
echo "installed into $dir_win:"
(cd "$dir" && find . -type f | sort | sed 's|^\./|  |')
echo "registered for the current user (a folder in the user's profile is the user's; Wine keeps one view of it):"
wine_q reg query "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve | sed -n 's|^ *(Default) *REG_SZ *|  InprocServer32 = |p'
for parent in '*' 'Directory' 'Directory\Background' 'Drive'; do
  value=$(wine_q reg query "HKCU\\Software\\Classes\\$parent\\shellex\\ContextMenuHandlers\\ZentrikMenu" /ve |
    sed -n 's/^ *(Default) *REG_SZ *//p')
  echo "  $parent\\shellex\\ContextMenuHandlers\\ZentrikMenu = $value"
done
echo "Apps & features:"
wine_q reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zentrik' | sed -n 's/^    /  /p'

say "The settings program (Start menu: Zentrik Settings)"
work=$(mktemp -d)
go_win=$(winepath -w "$work/go" 2>/dev/null)
wine "$rel64/props_driver.exe" "$dir_win\\Zentprops.exe" --enable --go-file "$go_win" >"$work/driver.log" 2>&1 &
driver=$!
for _ in $(seq 1 300); do
  grep -q "dialog ready" "$work/driver.log" 2>/dev/null && break
  kill -0 "$driver" 2>/dev/null || break
  sleep 0.1
done
grep -q "dialog ready" "$work/driver.log" || { cat "$work/driver.log"; touch "$work/go"; fail "the dialog did not come up"; }
sleep 0.5  # let the dialog finish painting
window=$(xdotool search --name '^Zentrik Properties$' | head -n 1)
if [ -n "$window" ] && import -window "$window" build/demo/settings.png; then
  echo "picture of the dialog: build/demo/settings.png"
else
  import -window root build/demo/settings.png
  echo "picture of the screen (the dialog's window was not found): build/demo/settings.png"
fi
touch "$work/go"
wait "$driver" || fail "the dialog did not end with OK"

# Wine 8's COM reads no per-user classes: the user's entries go into the
# machine's classes too, as Windows' merged view shows them to the user's
# programs (the uninstall's /disable removes them with the user's).
say "The user's entries copied into the machine's classes (Wine's COM reads no per-user classes)"
for view in /reg:64 /reg:32; do
  path="$dir_win\\Zentrik.dll"; [ "$view" = /reg:32 ] && path="$dir_win\\x86\\Zentrik.dll"
  [ "$view" = /reg:32 ] && [ "$ZK_WINE32" != yes ] && continue
  wine_q reg add "HKLM\\Software\\Classes\\CLSID\\$clsid" /ve /d Zentrik.dll /f $view >/dev/null
  wine_q reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /d "$path" /f $view >/dev/null
  wine_q reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /d Apartment /f $view >/dev/null
  echo "  InprocServer32 $view = $path"
done
for parent in '*' 'Directory' 'Directory\Background' 'Drive'; do
  wine_q reg add "HKLM\\Software\\Classes\\$parent\\shellex\\ContextMenuHandlers\\ZentrikMenu" /ve /d "$clsid" /f >/dev/null
done

say "Right-click on a text file: the shell's menu with Zentrik merged in"
docs="$WINEPREFIX/drive_c/users/Public/Documents"
mkdir -p "$docs"
printf 'Meeting at ten.\r\n' >"$docs/meeting notes.txt"
printf 'Q3 figures.\r\n' >"$docs/report.txt"
docs_win='C:\users\Public\Documents'
cp "$rel64/shell_host.exe" "$work/"
host() { wine "$work/shell_host.exe" --com --shell-menu "$@" </dev/null 2>&1 | tr -d '\r'; }
tree=$(host "$docs_win\\meeting notes.txt")
echo "$tree" | grep -q '^created: through the registry' || { echo "$tree"; fail "the extension was not created through the registry"; }
echo "$tree" | sed -n '/^\[\|^ /p'
position=$(echo "$tree" | sed -n 's/^merged: from identifier [0-9]* at position \([0-9]*\)$/\1/p')
[ -n "$position" ] || fail "the extension's items were not merged"
keys=$(printf 'down,%.0s' $(seq 0 "$position"))right
shot=$(host --quiet --track "$keys" --step-ms 200 --hold-ms 800 --screenshot 'C:\menu.bmp' "$docs_win\\meeting notes.txt")
[ -f "$WINEPREFIX/drive_c/menu.bmp" ] || { echo "$shot"; fail "no screenshot of the menu"; }
geometry=$(awk '/menu window: / {
    sub(/.*menu window: /, "")
    if (n == 0 || $1 < l) l = $1; if (n == 0 || $2 < t) t = $2
    if (n == 0 || $3 > r) r = $3; if (n == 0 || $4 > b) b = $4; n++ }
  END { if (n == 0) exit 1
        l -= 10; t -= 10; if (l < 0) l = 0; if (t < 0) t = 0
        printf "%dx%d+%d+%d", r + 10 - l, b + 10 - t, l, t }' <<<"$shot") || fail "no menu window was open"
convert "$WINEPREFIX/drive_c/menu.bmp" -crop "$geometry" +repage build/demo/menu.png
echo "picture of the open menu: build/demo/menu.png ($geometry of the screen)"

say "The same menu in the light and the dark app mode, at 100 % and 150 % display scale"
# The app mode is read when a menu is built; Wine takes the DPI of each
# program it starts from LogPixels. Both go back to the prefix's defaults after.
personalize='HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'
for look in light-100 dark-100 light-150 dark-150; do
  light=1; [ "${look%-*}" = dark ] && light=0
  dpi=96; [ "${look#*-}" = 150 ] && dpi=144
  wine_q reg add "$personalize" /v AppsUseLightTheme /t REG_DWORD /d "$light" /f >/dev/null
  wine_q reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  shot=$(host --quiet --track "$keys" --step-ms 200 --hold-ms 800 --screenshot 'C:\menu.bmp' "$docs_win\\meeting notes.txt")
  crop=$(awk '/menu window: / {
      sub(/.*menu window: /, "")
      if (n == 0 || $1 < l) l = $1; if (n == 0 || $2 < t) t = $2
      if (n == 0 || $3 > r) r = $3; if (n == 0 || $4 > b) b = $4; n++ }
    END { if (n == 0) exit 1
          l -= 10; t -= 10; if (l < 0) l = 0; if (t < 0) t = 0
          printf "%dx%d+%d+%d", r + 10 - l, b + 10 - t, l, t }' <<<"$shot") || fail "no menu window was open ($look)"
  convert "$WINEPREFIX/drive_c/menu.bmp" -crop "$crop" +repage "build/demo/menu-$look.png"
  echo "picture: build/demo/menu-$look.png (AppsUseLightTheme=$light, LogPixels=$dpi)"
done
wine_q reg delete "$personalize" /v AppsUseLightTheme /f >/dev/null
wine_q reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null

if [ "$ZK_WINE32" != no ]; then
  say "The 32-bit shell's view (the x86 library, 32-bit registry view)"
  cp "$rel32/shell_host.exe" "$work/shell_host32.exe"
  wine "$work/shell_host32.exe" --com "$docs_win\\report.txt" </dev/null 2>&1 | tr -d '\r' | grep -E '^created|^ *\[' | sed 's/^/  /'
fi

say "Adding an action, as a user: a shortcut in a group folder"
mkdir -p "$dir/EXT.txt"
cp "$rel64/RecordArgs.exe" "$WINEPREFIX/drive_c/users/Public/RecordArgs.exe"
wine "$rel64/make_shortcut.exe" "$dir_win\\EXT.txt\\Show arguments.lnk" 'C:\users\Public\RecordArgs.exe' "--from-zentrik" \
  </dev/null >/dev/null 2>&1 || fail "cannot write the shortcut"
echo "  $dir_win\\EXT.txt\\Show arguments.lnk -> C:\\users\\Public\\RecordArgs.exe --from-zentrik"
record="$WINEPREFIX/drive_c/users/Public/record.txt"
rm -f "$record"
echo "right-click on both text files, pick Zentrik > Show arguments:"
ZK_RECORD_FILE='C:\users\Public\record.txt' host --quiet --invoke "Show arguments" \
  "$docs_win\\meeting notes.txt" "$docs_win\\report.txt" | grep -E '^InvokeCommand|^invoke' | sed 's/^/  /'
for _ in $(seq 1 100); do [ -f "$record" ] && break; sleep 0.1; done
[ -f "$record" ] || fail "the action did not start"
echo "the program received:"
tr -d '\r' <"$record" | sed 's/^/  /'

if [ "$ZK_WINE32" != no ]; then
  say "Uninstalling: Uninstall.exe /S"
  wine "$dir/Uninstall.exe" /S "_?=$dir_win" </dev/null >/dev/null 2>&1 || fail "the uninstaller failed"
  rm -f "$dir/Uninstall.exe"; rmdir "$dir" 2>/dev/null
else
  say "Removing: Zentprops.exe /disable, then the zip's files"
  wine "$dir/Zentprops.exe" /disable /quiet </dev/null >/dev/null 2>&1 || fail "Zentprops.exe /disable failed"
  (cd "$work_zip/Zentrik-$version-win64" && find . -type f) | while read -r f; do rm -f "$dir/$f"; done
  find "$dir" -depth -type d -empty -delete 2>/dev/null
  rm -rf "$work_zip"
fi
status=0
for key in "HKCR\\CLSID\\$clsid /reg:64" "HKCR\\CLSID\\$clsid /reg:32" 'HKCR\*\shellex\ContextMenuHandlers\ZentrikMenu' \
           'HKCR\Directory\shellex\ContextMenuHandlers\ZentrikMenu' \
           'HKCR\Directory\Background\shellex\ContextMenuHandlers\ZentrikMenu' \
           'HKCR\Drive\shellex\ContextMenuHandlers\ZentrikMenu' \
           "HKCU\\Software\\Classes\\CLSID\\$clsid" 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zentrik'; do
  # shellcheck disable=SC2086
  if wine reg query $key </dev/null >/dev/null 2>&1; then echo "  still there: $key"; status=1; else echo "  gone: $key"; fi
done
echo "left in $dir_win (what the user added):"
(cd "$dir" 2>/dev/null && find . -mindepth 1 | sort | sed 's|^\./|  |') || echo "  (the folder is gone)"
rm -rf "$work"

if $update_docs; then
  cp build/demo/settings.png docs/settings.png
  cp build/demo/menu.png docs/menu.png
  for look in light-100 dark-100 light-150 dark-150; do cp "build/demo/menu-$look.png" "docs/menu-$look.png"; done
  echo "docs/settings.png, docs/menu.png and docs/menu-{light,dark}-{100,150}.png updated"
fi
echo
[ $status -eq 0 ] && echo "demo: done; pictures in build/demo/" || echo "demo: something of Zentrik was left behind" >&2
exit $status
