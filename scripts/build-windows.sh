#!/usr/bin/env bash
# Builds the Windows installer on this Linux machine and tries it under Wine:
#  1. Qt cross-built with mingw-w64 (scripts/build-windows-qt.sh; cached, so only the first run
#     takes long: about 20 minutes on two cores);
#  2. horalux.exe and horalux-cli.exe against it, and the installer
#     build-win-qt/horalux-VERSION-setup.exe;
#  3. under Wine: the installer installs and uninstalls cleanly; then, installed again, the
#     program runs on a virtual display against the stand-in board through COM1, connects, and
#     its main window is saved as build-win-qt/main-window-wine.png.
# HORALUX_JOBS sets the parallel jobs (default: every core).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/virtual-display.sh

scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine64 fonts-wine fonts-dejavu-core nsis \
  xvfb openbox xdotool imagemagick
jobs=${HORALUX_JOBS:-$(nproc)}
qt=$(scripts/build-windows-qt.sh | tail -n 1)

# Configured afresh each time: a Qt found before (another cache folder) must not stay in the cache.
cmake --fresh -S . -B build-win-qt -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DHORALUX_BUILD_UI=ON -DHORALUX_MINGW_SHARED_RUNTIME=ON \
  -DHORALUX_QT_PREFIX="$qt" -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
cmake --build build-win-qt -j "$jobs"
cmake --build build-win-qt --target installer
installer=(build-win-qt/horalux-*-setup.exe)
echo "installer: ${installer[0]}"
# The stand-in board comes from the Linux build.
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs" --target horalux-board

. scripts/wine-checks.sh
export WINEPREFIX=$PWD/build-win-qt/wine WINEDEBUG=-all
work=$(mktemp -d)
pids=()
cleanup() {
  kill "${pids[@]}" 2>/dev/null || true
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# Before Wine's first start here: its desktop process takes the display it finds then.
"$wineserver" -k 2>/dev/null || true
start_virtual_display 90
[[ -d $WINEPREFIX ]] || timeout 300 "$wine" wineboot -i >/dev/null 2>&1
# Wine has no Arial, the family Qt falls back to for Windows' dialog font; without one Qt takes
# the first family it finds, a serif. Windows itself has it.
"$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ /d 'DejaVu Sans' /f \
  >/dev/null 2>&1

scripts/check-windows-installer.sh "${installer[0]}" horalux.exe

# Installed again, to be seen working: its settings go to the user's application data, as the
# program sits under Program Files.
timeout 300 "$wine" "${installer[0]}" /S
"$wineserver" -w
build/bin/horalux-board --master --line-timing --verbose >"$work/board" 2>"$work/board.log" &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/board ]] && break; sleep 0.1; done
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$(head -n 1 "$work/board")" /f >/dev/null 2>&1
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
appdata=$("$wine" cmd /c echo '%APPDATA%' 2>/dev/null | tr -d '\r')
appdata_unix=$("$wine" winepath -u "$appdata" 2>/dev/null | tr -d '\r')
mkdir -p "$appdata_unix/horalux"
printf '[Interface]\r\nComPort=COM1\r\nComSpeed=9600\r\nsysnum=1\r\n' >"$appdata_unix/horalux/horalux.ini"

version=$(timeout 60 "$wine" 'C:\Program Files\Horalux\horalux.exe' --version | tr -d '\r')
[[ $version =~ ^horalux\ [0-9.]+$ ]] || { echo "horalux.exe --version printed \"$version\"" >&2; exit 1; }
echo "the installed program runs: $version"
"$wine" 'C:\Program Files\Horalux\horalux.exe' &
pids+=($!)
# Wine starts the program, whose connection dialog comes first: "Подключить" is its default button.
if ! dialog=$(timeout 120 xdotool search --sync --name '^Подключение$' | head -n 1); then
  import -window root build-win-qt/main-window-wine.png
  echo "the program's connection dialog did not appear (build-win-qt/main-window-wine.png)" >&2
  exit 1
fi
sleep 1
xdotool windowactivate --sync "$dialog" key Return
sleep 20  # the first reads of all registers at 9600 bit/s
# The screen is black around the program's window: trimmed away.
import -window root png:- | convert - -trim +repage build-win-qt/main-window-wine.png
echo "saved build-win-qt/main-window-wine.png"
# Connected: the board has been asked for its registers by the program.
reads=$(grep -c "^request to 1: command 74 't'" "$work/board.log" || true)
if ((reads < 10)); then
  echo "the program did not talk to the board through COM1 ($reads register reads)" >&2
  exit 1
fi
echo "the installed program connected through COM1 and read $reads registers"
