#!/usr/bin/env bash
# Installs, idempotently, everything the build and the tests need on a Debian 12 machine.
# Run as root. Safe to run again: it only installs what is missing. Both Wines are installed:
# 32-bit Wine runs the shipped PE32 programs, and 64-bit Wine their x86-64 twins on hosts whose
# kernel runs no 32-bit code (wine32:i386 installs there too, when the archive lets it; it just
# cannot start).
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev clang-format clang libclang-rt-14-dev
          g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
          wine wine64 xvfb x11-utils xdotool imagemagick
          fonts-wqy-zenhei fonts-wine locales file python3 osslsigncode openssl icoutils)

missing() {
  local p out=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || out+=("$p")
  done
  echo "${out[@]}"
}

export DEBIAN_FRONTEND=noninteractive
read -ra need <<<"$(missing "${packages[@]}" wine32:i386)"
if ((${#need[@]})); then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # A mirror in mid-sync can fail one index; the installs below then say whether what we
  # need was found.
  apt-get update -qq || echo "setup: apt-get update reported errors; installing anyway" >&2
fi
read -ra need <<<"$(missing "${packages[@]}")"
if ((${#need[@]})); then
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
# 32-bit Wine on its own: the tests need it only where the kernel runs 32-bit code, and an
# i386 index that is out of step with the amd64 one (a mirror in mid-sync) makes it
# uninstallable for a while. Without it the tests run the x86-64 twins under 64-bit Wine,
# and say so.
if [ -n "$(missing wine32:i386)" ]; then
  apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null ||
    echo "setup: wine32:i386 could not be installed; the Wine tests will use 64-bit Wine" >&2
fi

# A zh_CN locale that Wine can follow to code page 936, kept inside the project's cache
# so that nothing in the system's locale set-up is changed.
locdir="${KORV_LOCPATH:-/var/cache/korvane-locale}"
if [ ! -d "$locdir/zh_CN.UTF-8" ]; then
  mkdir -p "$locdir"
  localedef -i zh_CN -f UTF-8 "$locdir/zh_CN.UTF-8" || true
fi
echo "setup: done${need[*]:+ (installed: ${need[*]})}"
