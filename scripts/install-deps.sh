#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, skipping what is there.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev
          libbenchmark-dev libssl-dev zlib1g-dev libboost-dev libasio-dev
          openjdk-17-jdk-headless mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
          wine wine32:i386 binutils-mingw-w64-i686 procps python3)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
