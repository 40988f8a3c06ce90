#!/usr/bin/env bash
# Builds the Qt that quendal.exe links: Qt 6 qtbase (Core, Gui, Widgets; the windows, offscreen and minimal
# platform plugins; the Windows styles), static, cross-built for 64-bit Windows with Debian's MinGW-w64 from
# Debian 12's own qt6-base source package. Being the same 6.4.2, it matches the host tools (moc, uic, rcc) of
# qt6-base-dev-tools, which the cross build of Quendal uses. The result is qt6-mingw-static.tar.xz, one folder
# qt6-mingw/ that can be unpacked anywhere (scripts/wine-check, or QUENDAL_QT_MINGW for the windows-cross
# preset).
#
# Left out, because the window does not use them: network, SQL, OpenGL, Vulkan, D-Bus, printing, XML,
# concurrent, testlib (the window's tests run on Linux), and ICU (named 8-bit codecs such as GBK are not in it;
# Quendal converts with the Windows code page API there). Tablet events are off: Debian's source leaves out the
# wintab header the Windows plugin needs for them. zlib, PCRE2, HarfBuzz, FreeType and libjpeg are Qt's own
# bundled copies, so the .exe needs no DLL beside it.
#
# About 30 minutes on 2 cores, and 3 GB of disk in the work folder.
#
# Usage: scripts/build-qt-mingw.sh [-o OUTPUT] [WORK_DIR]
#   OUTPUT:   where the archive goes (default: build/qt6-mingw-static.tar.xz in this tree)
#   WORK_DIR: the source, build and install folders (default: a new temporary folder, removed on success)
# Needs a deb-src line for Debian 12's archive (apt-get source), and root for apt-get install.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
output=$root/build/qt6-mingw-static.tar.xz
if [ "${1:-}" = "-o" ]; then
    [ $# -ge 2 ] || { echo "usage: $0 [-o OUTPUT] [WORK_DIR]" >&2; exit 2; }
    output=$(realpath -m "$2")
    shift 2
fi
keep_work=yes
if [ $# -ge 1 ]; then
    work=$(realpath -m "$1")
    mkdir -p "$work"
else
    work=$(mktemp -d /tmp/quendal-qt-XXXXXX)
    keep_work=no
fi
jobs=${QUENDAL_JOBS:-$(nproc)}

source scripts/deps.sh
quendal_install_packages g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools ninja-build cmake xz-utils \
    dpkg-dev

# The host tools must be the same Qt version as the source, or the generated code does not fit the headers.
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
echo "qt6-base-dev-tools $host_version"

cd "$work"
if ! ls qt6-base_*.orig.tar.xz >/dev/null 2>&1; then
    apt-get source --download-only qt6-base ||
        { echo "apt-get source failed: add a deb-src line for Debian 12 to /etc/apt/sources.list.d/" >&2; exit 1; }
fi
source_version=$(ls qt6-base_*.dsc | sed 's/^qt6-base_\(.*\)\.dsc$/\1/')
[ "${host_version#*:}" = "$source_version" ] ||
    echo "warning: qt6-base source $source_version differs from qt6-base-dev-tools $host_version" >&2
rm -rf src
mkdir src
tar -C src --strip-components=1 -xJf qt6-base_*.orig.tar.xz

# Qt's configure runs compiler checks with its own toolchain file; ours also names MinGW's sysroot.
cat >mingw.cmake <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

prefix=$work/qt6-mingw
rm -rf build "$prefix"
cmake -G Ninja -S src -B build -DCMAKE_TOOLCHAIN_FILE="$work/mingw.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF -DFEATURE_network=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_testlib=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_icu=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_jpeg=OFF
cmake --build build --parallel "$jobs"
cmake --install build

# Same file order and times on every run, so that two builds of the same source give the same archive.
mkdir -p "$(dirname "$output")"
tar -C "$work" --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 -cf - qt6-mingw |
    xz -T"$jobs" -9 >"$output.tmp"
mv "$output.tmp" "$output"
cd "$root"
[ "$keep_work" = no ] && rm -rf "$work"
echo "$output"
