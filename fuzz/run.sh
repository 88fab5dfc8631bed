#!/usr/bin/env bash
# Runs every harness (or those named) for SECONDS each over its seed corpus; new inputs go to
# BUILD/corpus/<name>, crashes to BUILD/artifacts/. Exits non-zero when a harness fails.
#   fuzz/run.sh <build dir> <seconds> [harness ...]
set -uo pipefail
build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=(ply las text_cloud geo leaf_model settings_header set_option scanner pipeline)

status=0
mkdir -p "$build/artifacts"
for h in "${harnesses[@]}"; do
  mkdir -p "$build/corpus/$h"
  options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/artifacts/$h-" -timeout=30)
  # The pipeline's inputs are whole small clouds; the readers' are short texts.
  if [ "$h" = pipeline ]; then options+=(-max_len=16384); else options+=(-max_len=4096); fi
  echo "== fuzz_$h: ${seconds}s"
  # The program's console goes to /dev/null inside the harness; libFuzzer reports on stderr.
  if ! "$build/fuzz_$h" "${options[@]}" "$build/corpus/$h" "$here/corpus/$h" > "$build/fuzz_$h.log" 2>&1; then
    echo "fuzz_$h FAILED (see $build/fuzz_$h.log and $build/artifacts/)"
    tail -40 "$build/fuzz_$h.log"
    status=1
  fi
  grep -E "^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)" "$build/fuzz_$h.log" | sed 's/^/   /'
done
exit $status
