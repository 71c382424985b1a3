#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing; names given
# as arguments are wanted too (the Windows build's cross-compiler and Wine).
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          chrony ser2net qt6-base-dev qt6-translations-l10n nlohmann-json3-dev libssl-dev openssl
          libmosquitto-dev mosquitto mosquitto-clients
          dpkg-dev file help2man lintian desktop-file-utils appstream systemd "$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  echo "All needed packages are installed."
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# chrony and mosquitto are wanted for their daemon binaries only (the tests run their own
# copies; chrony's never touches the clock): keep package installs from starting any system
# service.
policy=/usr/sbin/policy-rc.d
if [[ ! -e $policy ]]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
  "${sudo_cmd[@]}" chmod +x "$policy"
  trap '"${sudo_cmd[@]}" rm -f "$policy"' EXIT
fi
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
