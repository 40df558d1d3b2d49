#!/usr/bin/env bash
# The benchmark (docs/performance.md): builds the release programs and a benchmark build
# whose Setup.exe carries one extra 64 MB entry, then measures both under Wine and prints one
# table of sizes, start-up, install, uninstall, extraction, memory and CPU figures. It
# reports; it does not pass or fail on times.
#
#   scripts/bench.sh [RUNS]      RUNS alternating runs per timed figure (default 5)
#
# Build trees go to $KORV_BENCH_DIR (default /tmp/korv-bench). The programs are built for the
# host's Wine mode (tests/wine/winehost.py): PE32 under 32-bit Wine, or the x86-64 twins under
# 64-bit Wine where the kernel runs no 32-bit code; the table says which it measured.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
out=${KORV_BENCH_DIR:-/tmp/korv-bench}
runs=${1:-5}
export DEBIAN_FRONTEND=noninteractive

bash scripts/setup.sh >/dev/null || { echo "bench: setup failed" >&2; exit 1; }
arch=$(python3 tests/wine/winehost.py arch)
case "$arch" in
  win32) toolchain=mingw-i686 ;;
  win64) toolchain=mingw-x86_64 ;;
esac
out=$out/$arch

configure() {  # tree, extra cmake arguments
  local tree=$1
  shift
  cmake -S "$repo" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/$toolchain.cmake" -DKORV_COMPACT_ART=ON "$@" \
        >/dev/null
}

echo "bench: building the release programs in $out/release" >&2
configure "$out/release" -DKORV_PAYLOAD_DIR="$repo/payload/files"
cmake --build "$out/release" -j 2 --target Setup Uninstall KVRN driver bench_watch \
      bench_minimal bench_floor >/dev/null

# The shipped payload plus one 64 MB stand-in entry, written to Bench.bin. It is listed first,
# so that its file is written soon after the Next click that the extraction figure times.
echo "bench: building the benchmark Setup.exe with a 64 MB entry in $out/big" >&2
big_payload=$out/payload-big
rm -rf "$big_payload"
cp -r payload/files "$big_payload"
python3 - "$big_payload/Setup.log" <<'PY'
import sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read().rstrip("\r\n")
open(path, "w", encoding="utf-8").write("BenchBig benchbin Bench.bin\n" + text + "\n")
PY
echo "size=$((64 << 20))" >"$big_payload/Bench.bin.gen"
configure "$out/big" -DKORV_PAYLOAD_DIR="$big_payload"
cmake --build "$out/big" -j 2 --target Setup bench_watch >/dev/null

python3 tools/bench_run.py --release "$out/release" --big "$out/big" --runs "$runs"
