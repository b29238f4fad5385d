#!/bin/sh
# Configures qtbase 6.4.2 for x86_64-w64-mingw32 (shared, release, the modules and plug-ins the program needs):
# the configure line of the prebuilt Qt cache, for scripts/lib/windows.sh when it builds that Qt itself.
#   W          the work folder: the unpacked source under src/, ccache's folder
#   PREFIX     where it is installed;  BUILD  the build folder;  TOOLCHAIN  the MinGW toolchain file
# Why some switches: the repacked source lacks src/3rdparty/wintab (no tablet events); OpenGL goes with
# INPUT_opengl=no (not FEATURE_opengl); direct2d stays, since PrintSupport needs its DirectWrite font engine.
set -e
W=${W:-$PWD}
export CCACHE_DIR=$W/ccache CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime CCACHE_MAXSIZE=5G
cmake -G Ninja -S "$W/src/qtbase-everywhere-src-6.4.2" -B "${BUILD:-$W/build-qtbase}" \
  -DCMAKE_TOOLCHAIN_FILE="${TOOLCHAIN:-$W/mingw-w64-x86_64.cmake}" \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="${PREFIX:-$W/qt-mingw}" \
  -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  -DFEATURE_pkg_config=OFF \
  -DINPUT_opengl=no -DFEATURE_vulkan=OFF \
  -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_glib=OFF \
  -DFEATURE_tabletevent=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF \
  -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_textmarkdownreader=OFF \
  "$@"
