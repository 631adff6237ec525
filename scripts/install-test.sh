#!/usr/bin/env bash
# The installer end to end under Wine, as a user installs and removes it:
#
#   bash scripts/install-test.sh [SETUP_EXE]
#
# (default: build/packages/Zentrik-<version>-setup.exe; the release builds
# build/win32-release and build/win64-release supply shell_host). Needs
# WINEPREFIX (a 64-bit prefix), DISPLAY and a warm wineserver; scripts/test.sh
# runs it in build/wineprefix after the other tests.
#
#  1. setup.exe /S installs into %LOCALAPPDATA%\Programs\Zentrik;
#  2. the files, the Start-menu shortcut, the Apps & features entry and the
#     registration of both architectures (64- and 32-bit registry views) are
#     as documented;
#  3. shell_host of each architecture creates the extension through the
#     registry (CoCreateInstance) for a .txt file and gets the starter
#     actions;
#  4. a shortcut the user adds to a starter group;
#  5. Uninstall.exe /S removes every installed file, the shortcut and every
#     registry entry, and keeps the user's shortcut and its folder.
# Prints one line per check; exits 0 when every check passed.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
: "${WINEPREFIX:?set WINEPREFIX}"
version=$(sed -nE 's/^project\(Zentrik VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
setup=${1:-build/packages/Zentrik-$version-setup.exe}
clsid='{5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zentrik'

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@" >/dev/null 2>&1; then echo "ok      $what"; else echo "FAILED  $what"; failures=$((failures + 1)); fi
}
wine_q() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
reg_value() {  # reg_value KEY NAME [/reg:32|/reg:64]: the value's data, or nothing
  local name=(/v "$2"); [ "$2" = "" ] && name=(/ve)
  wine_q reg query "$1" "${name[@]}" ${3:+"$3"} | awk -F'    ' 'NF >= 4 {print $4}'
}
reg_absent() { ! wine reg query "$@" </dev/null >/dev/null 2>&1; }
lacks() { ! grep -q "$1" <<<"$2"; }

[ -f "$setup" ] || { echo "install-test: no $setup (bash scripts/package.sh)" >&2; exit 1; }
localappdata=$(wine_q cmd /c echo %LOCALAPPDATA%)
dir_win="$localappdata\\Programs\\Zentrik"
dir=$(winepath -u "$dir_win" 2>/dev/null)
programs=$(winepath -u "$(wine_q cmd /c echo %APPDATA%)\\Microsoft\\Windows\\Start Menu\\Programs" 2>/dev/null)
[ -n "$dir" ] || { echo "install-test: cannot find %LOCALAPPDATA%" >&2; exit 1; }
rm -rf "$dir"

# 1. Install.
t=$(date +%s)
wine "$setup" /S </dev/null >/dev/null 2>&1
rc=$?
check "setup.exe /S exits with 0 (exit code $rc, $(( $(date +%s) - t ))s)" test "$rc" -eq 0

# 2. Files, shortcut, Apps & features, registration.
starter=()
while IFS='|' read -r group name _; do
  starter+=("$group/$name")
done < <(grep -v '^#' packaging/starter-library.txt)
for f in Zentrik.dll Zentprops.exe x86/Zentrik.dll x86/Zentprops.exe Uninstall.exe LICENSE.txt README.txt \
         "How to add actions.txt" "${starter[@]}" "${starter[@]/#/x86/}"; do
  check "installed: $f" test -s "$dir/$f"
done
check "x64 and x86 libraries are the two architectures" \
  bash -c "x86_64-w64-mingw32-objdump -f '$dir/Zentrik.dll' | grep -q pei-x86-64 && x86_64-w64-mingw32-objdump -f '$dir/x86/Zentrik.dll' | grep -q pei-i386"
check "Start-menu shortcut Zentrik Settings.lnk" test -f "$programs/Zentrik Settings.lnk"
for v in DisplayName DisplayVersion Publisher DisplayIcon UninstallString QuietUninstallString EstimatedSize NoModify NoRepair; do
  check "Apps & features: $v = $(reg_value "$uninstall_key" "$v")" test -n "$(reg_value "$uninstall_key" "$v")"
done
check "Apps & features: DisplayVersion is $version" test "$(reg_value "$uninstall_key" DisplayVersion)" = "$version"
check "Apps & features: QuietUninstallString runs Uninstall.exe /S" \
  test "$(reg_value "$uninstall_key" QuietUninstallString)" = "\"$dir_win\\Uninstall.exe\" /S"
check "64-bit view: InprocServer32 is the x64 library" \
  test "$(reg_value "HKCR\\CLSID\\$clsid\\InprocServer32" "" /reg:64)" = "$dir_win\\Zentrik.dll"
check "32-bit view: InprocServer32 is the x86 library" \
  test "$(reg_value "HKCR\\CLSID\\$clsid\\InprocServer32" "" /reg:32)" = "$dir_win\\x86\\Zentrik.dll"
check "handler key names the class" \
  test "$(reg_value 'HKCR\*\shellex\ContextMenuHandlers\ZentrikMenu' "")" = "$clsid"

# 3. The shell host of each architecture gets the starter actions.
work="$WINEPREFIX/drive_c/zentrik-install-test"
rm -rf "$work"; mkdir -p "$work"
printf 'notes\n' >"$work/notes.txt"
for b in win64 win32; do
  cp "build/$b-release/bin/shell_host.exe" "$work/shell_host-$b.exe"
  out=$(wine_q "$work/shell_host-$b.exe" --com 'C:\zentrik-install-test\notes.txt')
  check "$b shell_host: created through the registry" grep -q '^created: through the registry' <<<"$out"
  check "$b shell_host: starter action \"Edit in Notepad\" offered for a .txt file" grep -q '"Edit in Notepad"' <<<"$out"
  check "$b shell_host: starter action \"Show in Explorer\" offered for a .txt file" grep -q '"Show in Explorer"' <<<"$out"
  check "$b shell_host: no script action for a .txt file" lacks 'Run in a console window' "$out"
done

# 4. The user adds an action to a starter group.
user_link="$dir/${starter[0]%/*}/My own action.lnk"
cp "$dir/${starter[0]}" "$user_link"

# 5. Uninstall and wait for it (_?= keeps the uninstaller in place; it
# cannot delete itself then, so that is done here).
t=$(date +%s)
wine "$dir/Uninstall.exe" /S "_?=$dir_win" </dev/null >/dev/null 2>&1
rc=$?
rm -f "$dir/Uninstall.exe"
rmdir "$dir" 2>/dev/null
check "Uninstall.exe /S exits with 0 (exit code $rc, $(( $(date +%s) - t ))s)" test "$rc" -eq 0
check "no class key in the 64-bit view" reg_absent "HKCR\\CLSID\\$clsid" /reg:64
check "no class key in the 32-bit view" reg_absent "HKCR\\CLSID\\$clsid" /reg:32
check "no handler key" reg_absent 'HKCR\*\shellex\ContextMenuHandlers\ZentrikMenu'
check "no per-user class key" reg_absent "HKCU\\Software\\Classes\\CLSID\\$clsid"
check "no Apps & features entry" reg_absent "$uninstall_key"
check "no Start-menu shortcut" test ! -e "$programs/Zentrik Settings.lnk"
check "the user's shortcut is kept" test -f "$user_link"
left=$(cd "$dir" 2>/dev/null && find . -mindepth 1 ! -path "./${starter[0]%/*}" ! -path "./${starter[0]%/*}/My own action.lnk")
check "nothing else is left in the install folder${left:+: $(tr '\n' ' ' <<<"$left")}" test -z "$left"

rm -rf "$dir" "$work"
echo
if [ "$failures" -eq 0 ]; then echo "install-test: every check passed"; else echo "install-test: $failures checks failed"; fi
[ "$failures" -eq 0 ]
