#!/usr/bin/env bash
# Takes the pictures in docs/screenshots/: the program on a virtual display against the stand-in
# board (the connection dialog, then the main window connected with the exchange log open), and
# each other window shown with sample values by the window preview.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/virtual-display.sh
out=docs/screenshots
mkdir -p "$out"

need=()
for p in xvfb openbox xdotool imagemagick; do dpkg -s "$p" >/dev/null 2>&1 || need+=("$p"); done
if ((${#need[@]})); then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
scripts/install-deps.sh >/dev/null
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target horalux horalux-board window_preview >/dev/null

work=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

start_virtual_display 85

shoot() {  # file [title]: the active window, or the one of that title, frame included
  local window
  if [[ -n ${2:-} ]]; then
    window=$(xdotool search --name "^$2\$" | tail -n 1)
  else
    window=$(xdotool getactivewindow)
  fi
  import -window "$window" -frame "$out/$1"
  echo "saved $out/$1"
}

build/bin/horalux-board --master --line-timing >"$work/board.out" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/board.out ]] && break; sleep 0.1; done
cp build/bin/horalux "$work/horalux"
printf '[Interface]\nComPort=%s\nComSpeed=9600\nsysnum=1\n[View]\nTest=1\n' \
  "$(head -n 1 "$work/board.out")" >"$work/horalux.ini"
"$work/horalux" &
app=$!
sleep 3
shoot connection-dialog.png
xdotool key Return  # "Подключить"
sleep 15            # the first reads of all registers at 9600 bit/s
shoot main-window.png
kill "$app"; wait "$app" 2>/dev/null || true

preview() {  # file, preview arguments... (PREVIEW_WAIT: seconds before the picture;
           # PREVIEW_TITLE: the window's title, when it is not sure to be the active one)
  local file=$1; shift
  build/tests/window_preview "$@" &
  local pid=$!
  sleep "${PREVIEW_WAIT:-2}"
  shoot "$file" "${PREVIEW_TITLE:-}"
  kill "$pid"; wait "$pid" 2>/dev/null || true
}
for tab in 0 1 2 3 4 5 6 7 8 9; do
  preview "settings-tab-$tab.png" settings "$tab"
done
preview parameters-window.png parameters
preview edit-box.png editbox
preview connection-dialog-tls.png connection-tls
# Connects, then syncs three boards, the last of which never answers.
PREVIEW_WAIT=${LINE_BOARDS_WAIT:-25} PREVIEW_TITLE="Табло на линии" preview line-boards.png lineboards
