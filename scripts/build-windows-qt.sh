#!/usr/bin/env bash
# Cross-builds the part of Qt 6 the windowed program uses (Core, Gui, Widgets and the Windows
# platform plugin) with mingw-w64, from Debian's own qt6-base source package of the same version
# as the host Qt, whose moc, rcc and uic the build uses. The result is cached: a second run only
# prints its folder. Prints the install folder on its last line.
# HORALUX_CACHE sets the cache folder (default ~/.cache/horalux), HORALUX_JOBS the parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

scripts/install-deps.sh g++-mingw-w64-x86-64-posix dpkg-dev

version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
cache=${HORALUX_CACHE:-$HOME/.cache/horalux}
prefix=$cache/qt6-mingw-$version
if [[ -f $prefix/.complete ]]; then
  echo "$prefix"
  exit 0
fi
jobs=${HORALUX_JOBS:-$(nproc)}
work=$cache/qt6-mingw-$version.work
mkdir -p "$work"
cd "$work"

# The source package, through a private apt list so the system's sources stay as they are.
if [[ ! -d src ]]; then
  mkdir -p lists/partial
  cat >sources.list <<LIST
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian bookworm-updates main
deb-src http://deb.debian.org/debian-security bookworm-security main
LIST
  apt_opts=(-o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/nonexistent
            -o "Dir::State::Lists=$work/lists" -o APT::Sandbox::User=root)
  apt-get "${apt_opts[@]}" update -qq
  apt-get "${apt_opts[@]}" source --download-only "qt6-base=$version"
  rm -rf src.tmp
  dpkg-source -x qt6-base_*.dsc src.tmp
  mv src.tmp src
fi

# Only what the program uses; accessibility stays, for screen readers.
cmake -S src -B build -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" -DHORALUX_MINGW_SHARED_RUNTIME=ON \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_testlib=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_concurrent=OFF \
  -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF -DFEATURE_sql_sqlite=OFF \
  -DFEATURE_accessibility=ON
# Qt's own warnings run to thousands of lines: the log keeps them, and is shown on a failure.
echo "building Qt for mingw-w64 in $work (log: $work/build.log)..."
if ! cmake --build build -j "$jobs" >build.log 2>&1; then
  tail -n 200 build.log >&2
  echo "the Qt build failed; the whole log is $work/build.log" >&2
  exit 1
fi
cmake --install build >/dev/null
touch "$prefix/.complete"
# The sources and objects (over a gigabyte) are not needed again.
cd "$cache"
rm -rf "$work"
echo "$prefix"
