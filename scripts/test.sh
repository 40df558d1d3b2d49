#!/usr/bin/env bash
# README's test command: installs what is missing, builds every tree with warnings as errors,
# checks the formatting of every C++ source, then runs every test with CTest: the native unit
# tests (label unit) and the Wine end-to-end tests (label wine). The Wine tests run the PE32
# programs under 32-bit Wine, or their x86-64 twins where the kernel runs no 32-bit code
# (tests/wine/winehost.py decides; KORV_WINE_ARCH=win32|win64 forces one). Ends with CTest's
# summary; the exit status is non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

bash scripts/setup.sh || { echo "test: setup failed" >&2; exit 1; }
bash scripts/build.sh -DKORV_WERROR=ON || { echo "test: build failed" >&2; exit 1; }

# Formatting: every C++ source of the repository against .clang-format.
format_status=0
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t sources < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' | grep -v '^build/')
else
  mapfile -t sources < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
unformatted=()
for f in "${sources[@]}"; do
  [ -f "$f" ] || continue
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if ((${#unformatted[@]})); then
  format_status=1
  echo "test: these files differ from clang-format (run clang-format -i on them):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
else
  echo "test: formatting of ${#sources[@]} C++ files checked"
fi

# The cross trees' own checks of the programs they built, then the host tree's unit and Wine
# tests, whose summary ends the output.
cross_status=0
for tree in build/cross build/cross64; do
  ctest --test-dir "$tree" --output-on-failure || cross_status=1
done
echo "test: Wine runs $(python3 tests/wine/winehost.py describe 2>&1)"
ctest --test-dir build/host --output-on-failure
ctest_status=$?
if ((cross_status)); then
  echo "test: FAILED: checks of the cross build tree (see above)"
fi
if ((format_status)); then
  echo "test: FAILED: ${#unformatted[@]} files are not clang-format clean (see above)"
fi
exit $((ctest_status || format_status || cross_status))
