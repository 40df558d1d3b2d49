#!/usr/bin/env bash
# Configures and builds the three trees: build/host (portable code and tests), build/cross
# (the shipped PE32 programs Setup.exe, Uninstall.exe, KVRN.exe) and build/cross64 (their
# x86-64 twins, not shipped: they run the Wine tests where the kernel runs no 32-bit code).
# Extra arguments go to every configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
for tree in host cross cross64; do
  cmake --preset "$tree" -G Ninja "$@" >/dev/null
  cmake --build "build/$tree" -j "$jobs"
done
echo "build: the product is build/cross (PE32); build/cross64 holds x86-64 twins for testing only"
