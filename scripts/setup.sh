#!/usr/bin/env bash
# Installs, idempotently, everything the build and the tests need on a Debian 12 machine.
# Run as root. Safe to run again: it only installs what is missing. Both Wines are installed:
# 32-bit Wine runs the shipped PE32 programs, and 64-bit Wine their x86-64 twins on hosts whose
# kernel runs no 32-bit code (wine32:i386 installs there too; it just cannot start).
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev clang-format clang libclang-rt-14-dev
          g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
          wine wine32:i386 wine64 xvfb x11-utils xdotool imagemagick
          fonts-wqy-zenhei fonts-wine locales file python3 osslsigncode openssl icoutils)

need=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done

if ((${#need[@]})); then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# A zh_CN locale that Wine can follow to code page 936, kept inside the project's cache
# so that nothing in the system's locale set-up is changed.
locdir="${KORV_LOCPATH:-/var/cache/korvane-locale}"
if [ ! -d "$locdir/zh_CN.UTF-8" ]; then
  mkdir -p "$locdir"
  localedef -i zh_CN -f UTF-8 "$locdir/zh_CN.UTF-8" || true
fi
echo "setup: all packages present"
