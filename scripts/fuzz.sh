#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs them; see fuzz/README.md.
#
#   scripts/fuzz.sh TARGET SECONDS   run one target that long; its growing
#                                    corpus is kept in build-fuzz/work/TARGET
#   scripts/fuzz.sh --ci [SECONDS]   every target for SECONDS (60) on a
#                                    throw-away copy of its seed corpus
#   scripts/fuzz.sh --list           the targets
#
# Any finding (crash, sanitizer report, leak, timeout, too much memory)
# stops the run with a non-zero exit; its input is written to the run's
# artifacts folder, which the end of the run names. SNAPKIT_FUZZ_BUILD
# changes the build folder (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${SNAPKIT_FUZZ_BUILD:-build-fuzz}
targets=(png_image zstream bmp_picture jpeg_picture webp_picture avif_picture batch_list form_file
         filter_list cookies_file)

# A huge allocation or a slow input is a finding too: refusing hostile sizes
# is the readers' job, not the machine's.
limits=(-rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=10)

usage() {
  sed -n '5,10p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

build_targets() {
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSNAPKIT_FUZZ=ON -DSNAPKIT_BUILD_TESTS=OFF -DSNAPKIT_BUILD_D4=OFF >/dev/null
  cmake --build "$build" -j2 --target "${@/%/_fuzzer}"
}

# run TARGET SECONDS CORPUS_DIR ARTIFACT_DIR: the fuzzer's exit status. New
# inputs go to CORPUS_DIR; the seeds and earlier findings are read only.
run() {
  local target=$1 seconds=$2 corpus=$3 artifacts=$4
  local args=("${limits[@]}" -max_total_time="$seconds" -print_final_stats=1
              -artifact_prefix="$artifacts/")
  [ "$target" = png_image ] && args+=(-dict="$root/fuzz/png.dict")
  local dirs=("$corpus" "$root/fuzz/corpus/$target")
  [ -d "fuzz/regressions/$target" ] && dirs+=("$root/fuzz/regressions/$target")
  mkdir -p "$corpus" "$artifacts"
  local log; log="$(dirname "$artifacts")/$target.log"
  local status=0
  echo "== $target: ${seconds}s (log $log)"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/${target}_fuzzer" "${args[@]}" "${dirs[@]}" >"$log" 2>&1 || status=$?
  # Everything but the progress lines: the start, any report, the final stats.
  grep -v -E '^#[0-9]+ +(NEW|REDUCE|pulse)' "$log" | tail -n 80
  return $status
}

case "${1:-}" in
  --list)
    printf '%s\n' "${targets[@]}"
    ;;
  --ci)
    seconds=${2:-60}
    build_targets "${targets[@]}"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    failed=()
    for t in "${targets[@]}"; do
      # New inputs go to the temporary folder, never into the repository.
      if ! run "$t" "$seconds" "$work/$t/corpus" "$root/$build/ci-findings/$t"; then
        failed+=("$t")
      fi
    done
    echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
    if [ ${#failed[@]} -gt 0 ]; then
      echo "findings in: ${failed[*]} (inputs in $build/ci-findings/)"
      exit 1
    fi
    ;;
  ""|-h|--help)
    usage
    ;;
  *)
    target=$1
    seconds=${2:-}
    [[ " ${targets[*]} " == *" $target "* ]] || { echo "unknown target: $target"; usage; }
    [[ "$seconds" =~ ^[0-9]+$ ]] || usage
    build_targets "$target"
    work=$build/work/$target
    if run "$target" "$seconds" "$root/$work/corpus" "$root/$work/artifacts"; then
      echo "$target: no finding in ${seconds}s; corpus in $work/corpus"
    else
      echo "$target: finding; input in $work/artifacts/"
      exit 1
    fi
    ;;
esac
