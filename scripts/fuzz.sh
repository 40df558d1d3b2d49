#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (AddressSanitizer and UBSan on) and
# runs each for a bounded time, starting from its seed corpus in tests/fuzz/corpus/<target>.
#
#   scripts/fuzz.sh [SECONDS]    run every target for SECONDS (default 60) each
#   scripts/fuzz.sh --smoke      build, then replay the seeds and a few thousand inputs
#
# Options (before SECONDS): --out DIR (build and work folder, default build/fuzz),
# --target NAME (only that target; repeatable), --no-setup (skip scripts/setup.sh).
# The seeds in the repository are never changed: new inputs go to DIR/corpus/<target>.
# A crash, a sanitizer report or a broken invariant fails the run; the input is kept as
# DIR/artifacts/<target>/crash-* and can be replayed with: DIR/<target> FILE
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

out="$repo/build/fuzz"
seconds=60
smoke=0
setup=1
targets=()
while (($#)); do
  case "$1" in
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --target) targets+=("$2"); shift 2 ;;
    --smoke) smoke=1; shift ;;
    --no-setup) setup=0; shift ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) seconds=$1; shift ;;
  esac
done
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "fuzz: SECONDS must be a number" >&2; exit 2; }
if ((${#targets[@]} == 0)); then
  for f in tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
((setup)) && bash scripts/setup.sh >/dev/null

cxx=${KORV_FUZZ_CXX:-clang++}
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -fno-omit-frame-pointer -Wall -Wextra -I "$repo")
common=(common/*.cpp)  # the portable rules, all of them: the fake platform uses several
mkdir -p "$out"

status=0
for t in "${targets[@]}"; do
  src="tests/fuzz/$t.cpp"
  [ -f "$src" ] || { echo "fuzz: no target $src" >&2; exit 2; }
  extra=()
  # The manifest target checks paths against the fake platform's path rules.
  grep -q 'platform/fake/fake_platform.h' "$src" && extra+=(platform/fake/*.cpp)
  echo "fuzz: building $t"
  "$cxx" "${flags[@]}" "$src" "${common[@]}" "${extra[@]}" -o "$out/$t"

  seeds="tests/fuzz/corpus/${t%_fuzz}"
  work="$out/corpus/$t"
  artifacts="$out/artifacts/$t"
  mkdir -p "$work" "$artifacts"
  log="$out/$t.log"
  if ((smoke)); then
    run=(-runs=3000 -seed=1)
  else
    run=(-max_total_time="$seconds")
  fi
  echo "fuzz: running $t (${run[*]})"
  if "$out/$t" "${run[@]}" -print_final_stats=1 -max_len=4096 -timeout=10 \
       -artifact_prefix="$artifacts/" "$work" "$seeds" >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    files=$(find "$work" -type f | wc -l)
    echo "fuzz: $t: ok, ${execs:-?} inputs in ${secs:-?} s, ${cov:-cov: ?}, corpus $files files"
  else
    status=1
    echo "fuzz: $t: FAILED (log $log); the inputs that failed:" >&2
    ls "$artifacts" >&2 || true
    grep -E 'invariant broken|ERROR: |runtime error|SUMMARY' "$log" | head -5 >&2 || true
  fi
done
exit $status
