#!/usr/bin/env bash
# Cross-builds the Windows core, its tests and horalux-cli.exe with mingw-w64 (build-win/), runs
# the core suites under Wine, and checks the companion under Wine: --help, --version, the port
# list, a port that does not exist, a TLS port (refused), the registers of a stand-in board read through Wine's COM1
# (byte for byte as the Linux companion reads them), sync-time, a port held by another program,
# Ctrl+C ending monitor, and the installer installing and uninstalling cleanly.
# HORALUX_JOBS sets the build's parallel jobs (default: every core).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine64 nsis

jobs=${HORALUX_JOBS:-$(nproc)}
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHORALUX_WERROR=ON -DHORALUX_BUILD_TESTS=ON
cmake --build build-win -j "$jobs"
# The installer of this build holds the companion only; scripts/build-windows.sh makes the one
# with the windowed program.
cmake --build build-win --target installer
# The stand-in board and the reference reading come from the Linux build.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs" --target horalux-board horalux-cli

. scripts/wine-checks.sh
# A Wine prefix of our own: the user's ~/.wine and its COM ports are left alone.
export WINEPREFIX=$PWD/build-win/wine WINEDEBUG=-all
cli=(timeout 60 "$wine" build-win/bin/horalux-cli.exe)
# The Windows console ends lines with CR LF.
win() { "${cli[@]}" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

work=$(mktemp -d)
board_pid=
cleanup() {
  [[ -n $board_pid ]] && kill "$board_pid" 2>/dev/null && wait "$board_pid" 2>/dev/null
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [[ ! -d $WINEPREFIX ]]; then
  timeout 300 "$wine" wineboot -i >/dev/null 2>&1
  # A new prefix is still being written after wineboot returns; suites started meanwhile may
  # fail to start at all.
  timeout 300 "$wineserver" -w 2>/dev/null || true
fi

# The core suites, each .exe run through Wine (the toolchain's emulator). A suite that Wine
# failed to start (no output at all) gets one more run.
check "the core suites pass under Wine" \
  ctest --test-dir build-win -j "$jobs" --output-on-failure --repeat until-pass:2

win --version >"$work/version" || true
check "--version names the program and its version" grep -qx 'horalux-cli [0-9.]*' "$work/version"
win --help >"$work/help" || true
check "--help shows the usage" grep -q '^usage: horalux-cli' "$work/help"
win ports >"$work/ports" || true
check "ports lists Wine's COM1" grep -q '^COM1\b' "$work/ports"
status=0
win --port COM9 read-registers >"$work/missing" || status=$?
check "a port that does not exist fails" test "$status" -ne 0
check "... with \"Error opening port\" and its cause" \
  bash -c "grep -q 'Error opening port' '$work/missing' && grep -q 'COM9: no such device' '$work/missing'"
status=0
win --port tcp+tls://127.0.0.1:9 sync-time >"$work/tls" || status=$?
check "a TLS port is refused: this build has no TLS library" \
  bash -c "test $status -ne 0 && grep -q 'tcp+tls://127.0.0.1:9: TLS ports are not available in this build' '$work/tls'"

# Wine's COM1 is the stand-in board's pseudo-terminal; the server reads the mapping at start.
build/bin/horalux-board --master --verbose >"$work/board" 2>"$work/board.err" &
board_pid=$!
for _ in $(seq 100); do
  pty=$(head -n 1 "$work/board")
  [[ -n $pty ]] && break
  sleep 0.1
done
[[ -n ${pty:-} ]] || { echo "the stand-in board did not start" >&2; exit 1; }
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$pty" /f >/dev/null 2>&1
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true

status=0
# Wine's drive Z: is the Linux root.
win --port COM1 read-registers --out "Z:$work/windows.cs" >"$work/read-win" || status=$?
check "read-registers through COM1 succeeds" test "$status" -eq 0
build/bin/horalux-cli --port "$pty" read-registers --out "$work/linux.cs" >"$work/read-linux" 2>&1
check "... and saves the registers byte for byte as the Linux companion does" \
  cmp -s "$work/windows.cs" "$work/linux.cs"

status=0
before=$(date +%H:%M:%S)
win --port COM1 sync-time >"$work/sync-time" || status=$?
after=$(date +%H:%M:%S)
check "sync-time through COM1 succeeds" test "$status" -eq 0
# The board logs the clock write's data: seconds, minutes, hours first, in BCD.
written=$(sed -n "s/.*command 70 'p' params 00 07, data \[\(..\) \(..\) \(..\).*/\3:\2:\1/p" \
  "$work/board.err" | tail -n 1)
seconds() { IFS=: read -r h m s <<<"$1"; echo $((10#$h * 3600 + 10#$m * 60 + 10#$s)); }
# Whole seconds are written, so the time may read up to a second before the command started.
written_in_time() {
  [[ -n $written ]] || return 1
  local w b a
  w=$(seconds "$written") b=$(($(seconds "$before") - 1)) a=$(seconds "$after")
  # Across midnight the later times count on into the next day.
  ((a < b)) && a=$((a + 86400))
  ((w < b)) && w=$((w + 86400))
  ((w >= b && w <= a))
}
check "... and the board was given the PC time ($written, the PC $before..$after)" written_in_time

# While monitor holds COM1 no other program may open it; Ctrl+C (a SIGINT to Wine becomes the
# console's Ctrl+C event) then ends monitor at once, with 130.
"$wine" build-win/bin/horalux-cli.exe --port COM1 monitor >"$work/monitor" 2>&1 &
monitor_pid=$!
for _ in $(seq 300); do
  grep -q '^field' "$work/monitor" && break
  sleep 0.1
done
status=0
win --port COM1 read-time >"$work/held" || status=$?
check "a port another program holds is refused" test "$status" -ne 0
check "... as \"in use by another program\"" grep -q 'COM1: in use by another program' "$work/held"
kill -INT "$monitor_pid"
status=0
wait "$monitor_pid" || status=$?
check "Ctrl+C ends monitor with status 130" test "$status" -eq 130

installer=(build-win/horalux-*-setup.exe)
check "the installer installs and uninstalls cleanly" scripts/check-windows-installer.sh "${installer[0]}"

if ((failures > 0)); then
  echo "$failures Windows check(s) failed; the outputs:"
  for f in "$work"/*; do echo "--- ${f##*/}"; cat "$f"; done
  exit 1
fi
echo "All Windows checks passed."
