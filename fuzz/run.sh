#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time, each on a scratch copy
# of its committed seed corpus. Usage: fuzz/run.sh BUILD_DIR SECONDS
# A fault stops the run with its report; the input that caused it is left in
# BUILD_DIR/artifacts/ (replay it with BUILD_DIR/fuzz_<target> <file>).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "$1")
seconds=$2
targets=(read_request decimal_conversion general_field whole_run arithmetic)

# Inputs longer than these carry nothing more for the target.
max_len_of() {
  case $1 in
    general_field) echo 24 ;;
    arithmetic) echo 33 ;;
    decimal_conversion) echo 512 ;;
    *) echo 4096 ;;
  esac
}

mkdir -p "$build/artifacts" "$build/logs"
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  mkdir -p "$work"
  log="$build/logs/$target.log"
  echo "fuzz_$target: ${seconds}s"
  # Absolute paths throughout: the whole-run target works in a directory of its own.
  if ! "$build/fuzz_$target" "$work" "$PWD/fuzz/corpus/$target" \
      -max_total_time="$seconds" -max_len="$(max_len_of "$target")" -timeout=10 \
      -rss_limit_mb=2048 -artifact_prefix="$build/artifacts/$target-" \
      -print_final_stats=1 >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz_$target: FAILED (log: $log)"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)|DONE' "$log" || true
done
echo "fuzz: ${#targets[@]} passed, 0 failed"
