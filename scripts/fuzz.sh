#!/usr/bin/env bash
# Builds the libFuzzer target (tests/fuzz) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, then either replays the seed corpus
# (every input once, in order, no mutation: what `make test` runs, so it passes
# or fails the same way everywhere) or fuzzes a copy of it for a while. A
# finding stops the run with its input saved in build-fuzz/ (crash-*,
# timeout-*, oom-*): fix it, then add the input to tests/fuzz/corpus/.
# Usage: scripts/fuzz.sh replay | scripts/fuzz.sh [seconds]   (default 600)
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-600}"
build="${FUZZ_BUILD:-build-fuzz}"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORVEL_FUZZ=ON -DQUORVEL_SANITIZE=ON >/dev/null
cmake --build "$build" -j"${JOBS:-$(nproc)}" --target fuzz_picture

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME="$work/config"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
limits=(-rss_limit_mb=2048 -timeout=10 -artifact_prefix="$build/")

if [ "$mode" = replay ]; then
  # Inputs named as files are each run once, in the order given.
  inputs=()
  while IFS= read -r -d '' input; do inputs+=("$input"); done \
    < <(find tests/fuzz/corpus -type f -print0 | LC_ALL=C sort -z)
  "$build/tests/fuzz/fuzz_picture" "${limits[@]}" "${inputs[@]}" 2>"$work/log" || { cat "$work/log"; exit 1; }
  echo "Fuzz corpus replayed: ${#inputs[@]} inputs, no findings."
  exit 0
fi

cp -r tests/fuzz/corpus "$work/corpus"
# A fixed seed makes a run repeatable: what one run finds, the next finds again.
"$build/tests/fuzz/fuzz_picture" "$work/corpus" "${limits[@]}" -seed="${FUZZ_SEED:-1}" -max_total_time="$mode" \
  -print_final_stats=1
