#!/usr/bin/env bash
# Configures and builds the three trees: build/host (portable code and tests), build/cross
# (the shipped PE32 programs Setup.exe, Uninstall.exe, KVRN.exe) and build/cross64 (their
# x86-64 twins, not shipped: they run the Wine tests where the kernel runs no 32-bit code).
# Extra arguments go to every configure step.
#
# The programs are reproducible: the PE time stamp is SOURCE_DATE_EPOCH, by default the time
# of the checked-out commit. With KORV_SIGN_PKCS12 and KORV_SIGN_PASSWORD set (and optionally
# KORV_SIGN_TIMESTAMP), the programs of both cross trees are signed (scripts/sign.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
if [ -n "${KORV_SIGN_PKCS12:-}" ] && [ -n "${KORV_SIGN_PASSWORD+set}" ]; then
  sign=ON
  echo "build: signing the programs with $KORV_SIGN_PKCS12"
else
  sign=OFF
fi
cmake --preset host -G Ninja "$@" >/dev/null
cmake --build build/host -j "$jobs"
for tree in cross cross64; do
  cmake --preset "$tree" -G Ninja -DKORV_SIGN=$sign "$@" >/dev/null
  cmake --build "build/$tree" -j "$jobs"
done
echo "build: the product is build/cross (PE32); build/cross64 holds x86-64 twins for testing only"
