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
         etc/default/horalux-keep-time lib/systemd/system/horalux-bridge@.service \
         etc/default/horalux-bridge; do
  [[ -s $scratch/$f ]] || { echo "missing from the package: /$f" >&2; exit 1; }
done
for conffile in /etc/default/horalux-keep-time /etc/default/horalux-bridge; do
  dpkg-deb --info "$deb" conffiles | grep -qx "$conffile" ||
    { echo "$conffile is no conffile" >&2; exit 1; }
done

# The units checked as the package installs them, but for their program, which they find in the
# unpacked package. Any warning fails the check. The manual page they name is checked above
# (verify would ask man, which a build machine need not have).
units=$scratch/units
mkdir "$units"
verify_log=$scratch/verify.log
for unit in horalux-keep-time horalux-bridge; do
  sed "s|/usr/bin/horalux-cli|$scratch/usr/bin/horalux-cli|" \
    "$scratch/lib/systemd/system/$unit@.service" >"$units/$unit@.service"
  SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no \
    "$units/$unit@ttyUSB0.service" >"$verify_log" 2>&1 ||
    { cat "$verify_log"; echo "systemd-analyze verify failed for $unit" >&2; exit 1; }
  if grep -F "$unit" "$verify_log"; then
    echo "systemd-analyze verify warns about $unit" >&2
    exit 1
  fi
done
echo "package check passed"
