#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang in build-fuzz/ and runs each for a bounded time, starting
# from its seeds. Fails on the first crash, failed check, leak, timeout or memory blow-up; the input that
# did it is left in build-fuzz/findings/<target>/.
#   scripts/fuzz.sh [seconds per target] [target...]     default: 20 s, every target
# The mutations follow a fixed seed, so a run on CI repeats (a prefix of) the runs made before a commit; a new
# finding must not fail a build whose code did not change. KORVEL_FUZZ_SEED=0 explores with a random seed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
"$(pwd)/scripts/deps.sh" --with-clang

dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DKORVEL_FUZZ=ON -DKORVEL_BUILD_TESTS=OFF -DKORVEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" --parallel "$(nproc)" --target korvel_fuzzers

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    for binary in "$dir"/fuzz/fuzz_*; do
        [[ -x "$binary" && -f "$binary" ]] && targets+=("${binary##*/fuzz_}")
    done
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Qt seeds its hashes at random; a fixed seed keeps the paths a run takes, and so its coverage, the same.
export QT_HASH_SEED=0
seed=${KORVEL_FUZZ_SEED:-1}

for target in "${targets[@]}"; do
    seeds=fuzz/corpus/$target
    [[ -d "$seeds" ]] || { echo "No seeds in $seeds" >&2; exit 1; }
    # New inputs go to a scratch corpus, so a run never changes the seeds in the repository.
    work=$dir/corpus/$target
    findings=$dir/findings/$target
    # A seeded run starts from the seeds alone, as it does in a clean clone.
    if [[ $seed != 0 ]]; then rm -rf "$work"; fi
    mkdir -p "$work" "$findings"
    options=(-seed="$seed" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1
             -artifact_prefix="$findings/")
    [[ -f fuzz/$target.dict ]] && options+=(-dict="fuzz/$target.dict")
    echo "== fuzz_$target for ${seconds} s"
    if ! "$dir/fuzz/fuzz_$target" "${options[@]}" "$work" "$seeds" >"$dir/fuzz_$target.log" 2>&1; then
        tail -n 60 "$dir/fuzz_$target.log" >&2
        echo "fuzz_$target failed; the input is in $findings/" >&2
        exit 1
    fi
    grep -E "^stat::(number_of_executed_units|peak_rss_mb)|cov: " "$dir/fuzz_$target.log" | tail -n 3
done
