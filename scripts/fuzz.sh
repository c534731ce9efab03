#!/usr/bin/env bash
# Builds the libFuzzer target (tests/fuzz) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, then fuzzes a copy of the seed
# corpus for a while. A finding stops the run with its input saved in
# build-fuzz/ (crash-*, timeout-*, oom-*): fix it, then add the input to
# tests/fuzz/corpus/.
# Usage: scripts/fuzz.sh [seconds]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
build="${FUZZ_BUILD:-build-fuzz}"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORVEL_FUZZ=ON -DQUORVEL_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_picture

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r tests/fuzz/corpus "$work/corpus"

export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME="$work/config"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# A fixed seed makes a run repeatable: what CI finds, the next run finds again.
"$build/tests/fuzz/fuzz_picture" "$work/corpus" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
  -artifact_prefix="$build/" -print_final_stats=1
