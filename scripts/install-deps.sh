#!/usr/bin/env bash
# install-deps.sh: everything the build, the tests, the benchmarks and the demo
# need on a fresh Debian 12 machine, as root.  Safe to run again: it installs
# only what is missing.
set -euo pipefail

packages=(
  cmake g++ make python3 git                     # the host build
  googletest libgtest-dev libbenchmark-dev        # tests and benchmarks
  zlib1g-dev libdeflate-dev                       # decoder peers in tests and benchmarks
  p7zip-full libarchive-tools                     # archive peers: 7z, bsdtar
  clang libclang-rt-14-dev valgrind               # fuzzing, sanitizers, memcheck
  g++-mingw-w64-i686 binutils-mingw-w64-i686      # the Windows build
  g++-multilib zlib1g-dev:i386 libdeflate-dev:i386 # the 32-bit host build (host-i686)
  libbenchmark-dev:i386 libgtest-dev:i386         # and its decoder benchmark and tests
  qemu-user-static                                # 32-bit code where the kernel refuses it
  wine wine32:i386 xvfb x11-utils imagemagick     # running and seeing it under Wine
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64  # the 64-bit test build, for machines
  wine64                                          #   that cannot run 32-bit code
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && { echo "install-deps: everything is installed"; exit 0; }

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing ${missing[*]}; run as root to install them" >&2
  exit 1
fi
# 32-bit Wine needs the i386 architecture.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
echo "install-deps: installed ${missing[*]}"
