#!/usr/bin/env bash
# Soak run: the windowed program on a virtual display against the stand-in board as time master,
# exchange log shown and checked, for MINUTES minutes (default 30). Samples CPU and resident
# memory every 10 s and prints them, then the average CPU and the memory growth per hour over the
# second half of the run (once the log has reached its line cap).
#   bench/soak.sh [MINUTES] [SPEED]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/virtual-display.sh
minutes=${1:-30}
speed=${2:-9600}

need=()
for p in xvfb openbox xdotool; do dpkg -s "$p" >/dev/null 2>&1 || need+=("$p"); done
if ((${#need[@]})); then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target horalux horalux-board >/dev/null

work=$(mktemp -d)
pids=()
app=
# The program first, waited for: it saves its settings into $work and needs the display meanwhile.
cleanup() {
  if [[ -n $app ]]; then kill "$app" 2>/dev/null && wait "$app" 2>/dev/null || true; fi
  kill "${pids[@]}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

build/bin/horalux-board --master --line-timing --speed "$speed" >"$work/board.out" &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/board.out ]] && break; sleep 0.1; done
port=$(head -n 1 "$work/board.out")

cp build/bin/horalux "$work/horalux"
printf '[Interface]\nComPort=%s\nComSpeed=%s\nsysnum=1\n[View]\nTest=1\n' "$port" "$speed" \
  >"$work/horalux.ini"

start_virtual_display 90
"$work/horalux" &
app=$!
pids+=("$app")
sleep 3
# "Подключить" is the connection dialog's default button.
xdotool key Return
sleep 2

hz=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$app/stat"; }
rss_kib() { awk '/^VmRSS/ { print $2 }' "/proc/$app/status"; }
samples=$((minutes * 6))
echo "seconds cpu_percent rss_kib"
start_ticks=$(cpu_ticks); start_time=$(date +%s.%N)
prev_ticks=$start_ticks; prev_time=$start_time
half_rss=; half_time=
for ((i = 1; i <= samples; i++)); do
  sleep 10
  kill -0 "$app" 2>/dev/null || { echo "the program ended during the soak" >&2; exit 1; }
  ticks=$(cpu_ticks); now=$(date +%s.%N); rss=$(rss_kib)
  awk -v t="$ticks" -v pt="$prev_ticks" -v n="$now" -v pn="$prev_time" -v s="$start_time" \
      -v hz="$hz" -v rss="$rss" \
      'BEGIN { printf "%d %.2f %d\n", n - s, 100 * (t - pt) / hz / (n - pn), rss }'
  prev_ticks=$ticks; prev_time=$now
  if ((i == samples / 2)); then half_rss=$rss; half_time=$now; fi
done
awk -v t="$prev_ticks" -v st="$start_ticks" -v n="$prev_time" -v s="$start_time" -v hz="$hz" \
    -v r="$(rss_kib)" -v hr="$half_rss" -v hn="$half_time" \
    'BEGIN { printf "average cpu %.2f %% of a core; rss %d KiB; growth over the second half %.0f KiB/hour\n",
             100 * (t - st) / hz / (n - s), r, (r - hr) * 3600 / (n - hn) }'
