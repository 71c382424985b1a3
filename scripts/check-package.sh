#!/usr/bin/env bash
# Builds the Debian package in the given build folder, validates its desktop entry, metainfo and
# the package itself, then unpacks it into a scratch folder and runs the tools from there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake --build "$build" --target package
deb=$(ls -t "$build"/horalux_*_amd64.deb | head -n 1)
echo "package: $deb"

desktop-file-validate packaging/horalux.desktop
appstreamcli validate --no-net packaging/horalux.metainfo.xml
# Errors fail; warnings and notes are printed for the reader.
lintian --fail-on error --suppress-tags-from-file /dev/null "$deb"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch"
"$scratch/usr/bin/horalux-cli" --version
"$scratch/usr/bin/horalux-board" --help >/dev/null
for f in usr/share/applications/horalux.desktop usr/share/icons/hicolor/scalable/apps/horalux.svg \
         usr/share/icons/hicolor/48x48/apps/horalux.png usr/share/icons/hicolor/256x256/apps/horalux.png \
         usr/share/man/man1/horalux-cli.1.gz usr/share/man/man1/horalux-board.1.gz \
         usr/share/man/man1/horalux.1.gz lib/systemd/system/horalux-keep-time@.service \
         etc/default/horalux-keep-time; do
  [[ -s $scratch/$f ]] || { echo "missing from the package: /$f" >&2; exit 1; }
done
dpkg-deb --info "$deb" conffiles | grep -qx /etc/default/horalux-keep-time ||
  { echo "/etc/default/horalux-keep-time is no conffile" >&2; exit 1; }

# The unit checked as the package installs it, but for its program, which it finds in the
# unpacked package. Any warning fails the check. The manual page it names is checked above
# (verify would ask man, which a build machine need not have).
units=$scratch/units
mkdir "$units"
sed "s|/usr/bin/horalux-cli|$scratch/usr/bin/horalux-cli|" \
  "$scratch/lib/systemd/system/horalux-keep-time@.service" >"$units/horalux-keep-time@.service"
verify_log=$scratch/verify.log
SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no \
  "$units/horalux-keep-time@ttyUSB0.service" >"$verify_log" 2>&1 ||
  { cat "$verify_log"; echo "systemd-analyze verify failed" >&2; exit 1; }
if grep -F horalux-keep-time "$verify_log"; then
  echo "systemd-analyze verify warns about the unit" >&2
  exit 1
fi
echo "package check passed"
