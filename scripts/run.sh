#!/usr/bin/env bash
# README's run command: installs what is missing, builds every tree, then starts Setup.exe
# under Wine, on $DISPLAY or, without one, on a private Xvfb display. Which Setup.exe runs is
# decided by tests/wine/winehost.py: the shipped PE32 program under 32-bit Wine, or, on a host
# whose kernel runs no 32-bit code, its x86-64 twin under 64-bit Wine (KORV_WINE_ARCH=win32 or
# win64 forces one). The prefix lives in $KORV_RUN_PREFIX (default
# ~/.cache/korvane-run/<win32|win64>); its D: drive is the folder "d" there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
arch=$(python3 tests/wine/winehost.py arch)
echo "run: the shipped programs are in $(pwd)/build/cross:"
ls -l build/cross/*.exe | sed 's/^/  /'
prefix_dir="${KORV_RUN_PREFIX:-$HOME/.cache/korvane-run/$arch}"
exec python3 tests/wine/harness.py run Setup.exe "$prefix_dir"
