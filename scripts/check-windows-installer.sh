#!/usr/bin/env bash
# Checks a Windows installer under Wine: a silent install puts the program's files under
# Program Files, the Start-menu entry and the uninstall entry in place, and the installed
# companion runs; a silent uninstall then leaves the Wine drive as it was before, once the
# system has restarted (the uninstaller's own copy in the temporary folder goes then).
# Usage: check-windows-installer.sh INSTALLER.exe [FILE...], with WINEPREFIX set; each FILE must
# be installed too. Exits 1 on a failure.
set -euo pipefail

installer=$1
shift
. "$(dirname "$0")/wine-checks.sh"
drive=$WINEPREFIX/drive_c
folder="$drive/Program Files/Horalux"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Horalux'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tree() { find "$drive" | sort; }

uninstall() {
  timeout 300 "$wine" 'C:\Program Files\Horalux\uninstall.exe' /S
  "$wineserver" -w
  timeout 300 "$wine" wineboot -r  # a restart: the uninstaller's own copy goes then
  "$wineserver" -w
}
# An earlier install in this prefix (a previous run's) goes first.
"$wine" reg query "$key" >/dev/null 2>&1 && uninstall
"$wineserver" -w
tree >"$work/before"
timeout 300 "$wine" "$installer" /S
"$wineserver" -w

check "the installer puts the companion under Program Files" test -f "$folder/horalux-cli.exe"
check "... with an uninstaller" test -f "$folder/uninstall.exe"
for file in "$@"; do
  check "... and $file" test -f "$folder/$file"
done
check "... and a Start-menu entry" \
  test -f "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Horalux.lnk"
check "... and an entry in the system's list of programs" \
  bash -c "'$wine' reg query '$key' /v UninstallString >/dev/null 2>&1"
version=$(timeout 60 "$wine" 'C:\Program Files\Horalux\horalux-cli.exe' --version | tr -d '\r')
check "the installed companion runs ($version)" grep -qx 'horalux-cli [0-9.]*' <<<"$version"

uninstall
tree >"$work/after"
check "the uninstall leaves no file or folder behind" diff "$work/before" "$work/after"
check "... and removes the entry in the list of programs" \
  bash -c "! '$wine' reg query '$key' >/dev/null 2>&1"

((failures == 0)) || { echo "$failures installer check(s) failed"; exit 1; }
echo "The installer installs and uninstalls cleanly."
