#!/usr/bin/env bash
# Builds the programs and shows a board's fields as they change. With HORALUX_PORT set (for
# example HORALUX_PORT=ttyUSB0) it talks to that real board; otherwise it starts the stand-in
# board on a pseudo-terminal, as time master, and talks to that.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh >/dev/null
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target horalux-board horalux-cli >/dev/null

speed=${HORALUX_SPEED:-9600}
port=${HORALUX_PORT:-}
board_pid=
cleanup() { [[ -n $board_pid ]] && kill "$board_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [[ -z $port ]]; then
  out=$(mktemp)
  # In a session of its own, so Ctrl+C reaches only the companion: the board is stopped by the
  # cleanup after it, not under its feet (which would look like a failed line).
  setsid build/bin/horalux-board --master --speed "$speed" >"$out" &
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

build/bin/horalux-cli --port "$port" --speed "$speed" read-fields
# Not exec: the stand-in board is stopped when this script ends.
build/bin/horalux-cli --port "$port" --speed "$speed" monitor "$@"
