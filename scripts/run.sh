#!/usr/bin/env bash
# Builds the programs and starts the windowed program. Without HORALUX_PORT it starts the
# stand-in board on a pseudo-terminal (time master, bytes at wire speed) and runs a copy of the
# program in build/demo/ whose settings name that port: press "Подключить" to see the board.
# With HORALUX_PORT set (for example HORALUX_PORT=ttyUSB0) no stand-in board is started and
# the program runs with its own settings; the port is chosen in the connection dialog.
# Without a display it runs the command-line monitor against the same port instead.
set -euo pipefail
cd "$(dirname "$0")/.."

speed=${HORALUX_SPEED:-9600}
port=${HORALUX_PORT:-}
windowed=1
[[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]] && windowed=

echo "checking the build dependencies..."
scripts/install-deps.sh >/dev/null
if [[ ! -f build/CMakeCache.txt ]]; then
  echo "configuring the build in build/..."
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
targets=(horalux-board horalux-cli)
[[ -n $windowed ]] && targets+=(horalux)
echo "building ${targets[*]} (the first build takes a few minutes)..."
log=$(mktemp)
set +e
cmake --build build -j "$(nproc)" --target "${targets[@]}" 2>&1 | tee "$log" |
  grep --line-buffered -E '^\[[0-9]+/[0-9]+\]' | awk '{ printf "\r  %s", $1; fflush() } END { if (NR) print "" }'
built=${PIPESTATUS[0]}
set -e
if ((built != 0)); then
  cat "$log" >&2
  rm -f "$log"
  exit "$built"
fi
rm -f "$log"

board_pid=
cleanup() { [[ -n $board_pid ]] && kill "$board_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [[ -z $port ]]; then
  out=$(mktemp)
  # In a session of its own, so Ctrl+C reaches only the program: the board is stopped by the
  # cleanup after it, not under its feet (which would look like a failed line).
  setsid build/bin/horalux-board --master --line-timing --speed "$speed" >"$out" &
  board_pid=$!
  for _ in $(seq 100); do
    port=$(head -n 1 "$out")
    [[ -n $port ]] && break
    sleep 0.1
  done
  rm -f "$out"
  [[ -n $port ]] || { echo "the stand-in board did not start" >&2; exit 1; }
  echo "stand-in board on $port"
fi

if [[ -z $windowed ]]; then
  echo "no display (\$DISPLAY and \$WAYLAND_DISPLAY are empty): running the command-line monitor"
  build/bin/horalux-cli --port "$port" --speed "$speed" read-fields
  # Not exec: the stand-in board is stopped when this script ends.
  build/bin/horalux-cli --port "$port" --speed "$speed" monitor "$@"
  exit
fi

if [[ -z $board_pid ]]; then
  build/bin/horalux "$@"
  exit
fi

# A copy of the program beside its own settings file, so the user's settings stay untouched.
mkdir -p build/demo
cp build/bin/horalux build/demo/horalux
ini=build/demo/horalux.ini
if [[ -f $ini ]] && grep -q '^ComPort=' "$ini"; then
  sed -i -e "s|^ComPort=.*|ComPort=$port|" -e "s|^ComSpeed=.*|ComSpeed=$speed|" -e 's|^sysnum=.*|sysnum=1|' "$ini"
else
  printf '[Interface]\nComPort=%s\nComSpeed=%s\nsysnum=1\n' "$port" "$speed" >"$ini"
fi
echo "starting build/demo/horalux; press \"Подключить\" in its connection dialog"
build/demo/horalux "$@"
