#!/usr/bin/env bash
# Configures and builds both trees: build/host (portable code and tests) and build/cross
# (Setup.exe, Uninstall.exe, KVRN.exe). Extra arguments go to both configure steps.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake --preset host -G Ninja "$@" >/dev/null
cmake --build build/host -j "$jobs"
cmake --preset cross -G Ninja "$@" >/dev/null
cmake --build build/cross -j "$jobs"
