#!/usr/bin/env bash
# README's run command: installs what is missing, builds both trees, then starts
# build/cross/Setup.exe under 32-bit Wine, on $DISPLAY or, without one, on a private Xvfb
# display. The Wine prefix lives in $KORV_RUN_PREFIX (default ~/.cache/korvane-run); its D:
# drive is the folder "d" there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
echo "run: the built programs are in $(pwd)/build/cross:"
ls -l build/cross/*.exe | sed 's/^/  /'
prefix_dir="${KORV_RUN_PREFIX:-$HOME/.cache/korvane-run}"
exec python3 tests/wine/harness.py run "$(pwd)/build/cross/Setup.exe" "$prefix_dir"
