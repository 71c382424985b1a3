# Sourced by the scripts that run the windowed program without a screen of their own.
# start_virtual_display FIRST: starts Xvfb on the first free display number from FIRST and
# openbox on it, exports DISPLAY, and adds both processes to the caller's `pids` array so that
# its cleanup ends them.
start_virtual_display() {
  local n=$1
  while [[ -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
  export DISPLAY=":$n"
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5
}
