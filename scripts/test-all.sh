#!/usr/bin/env bash
# Installs what is missing, builds both targets (and the sanitizer build) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

scripts/install-deps.sh

build() {  # build DIR CMAKE-ARGS...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== Linux x86-64"
build build/linux -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build/linux --output-on-failure -j "$jobs"

echo "== Linux x86-64, AddressSanitizer and UndefinedBehaviorSanitizer"
build build/asan -DCMAKE_BUILD_TYPE=Debug -DGATEWAY_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== 32-bit Windows under wine"
# The Windows programs converse with the node built for Linux above.
build build/win32 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw32.cmake" \
  -DAPPCNODE_PATH="$root/build/linux/platform/node/appcnode"
export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1 || true
wineserver -p 30 || true
ctest --test-dir build/win32 --output-on-failure -j "$jobs"

echo "== Fuzz targets, a short fixed run each"
scripts/fuzz.sh
