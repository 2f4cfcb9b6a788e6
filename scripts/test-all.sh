#!/usr/bin/env bash
# The test command: builds Vextrel for every target and runs every test suite.
#
#   scripts/test-all.sh [--fresh] [SUITE...]
#
# SUITE is a CMake preset: linux, linux-asan, linux-tsan, windows; or bench (one run of every
# benchmark of the linux build), fuzz, packaging (install, packages and consumer projects,
# scripts/check-packaging.sh), fresh-machine (the README's commands on a new Debian root,
# scripts/check-fresh-machine.sh); all of them when none is named. --fresh configures each build
# folder from scratch.
#
# First installs the Debian packages the build needs, when some are missing (`test` in
# scripts/packages.txt; apt-get runs only then). Each preset suite configures and builds its preset
# in build/<preset>/ and runs the tests there with ctest; the full output goes to
# build/logs/<preset>.log. Prints one line per suite and, last, the
# totals as "N passed, N failed". Exits non-zero when a suite fails, does not build or runs no test.
set -uo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
LOGS=$ROOT/build/logs
# shellcheck source=scripts/lib/packages.sh
source "$ROOT/scripts/lib/packages.sh"
JOBS=${VEXTREL_JOBS:-2}
ALL_SUITES=(linux linux-asan linux-tsan windows bench fuzz packaging fresh-machine)

fresh=""
suites=()
for argument in "$@"; do
    case $argument in
        --fresh) fresh=--fresh ;;
        -*) echo "unknown option: $argument (option: --fresh)" >&2; exit 2 ;;
        *)
            [[ " ${ALL_SUITES[*]} " == *" $argument "* ]] || {
                echo "unknown suite: $argument (suites: ${ALL_SUITES[*]})" >&2
                exit 2
            }
            suites+=("$argument")
            ;;
    esac
done
((${#suites[@]})) || suites=("${ALL_SUITES[@]}")

# Sanitizer settings also for runs outside ctest (the test presets set the same).
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

stop_wine() {
    local prefix=$ROOT/build/windows/wine/prefix
    if [[ -d $prefix && -x /usr/lib/wine/wineserver64 ]]; then
        WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true
    fi
}
trap stop_wine EXIT

summary=()
total_passed=0
total_failed=0
suites_failed=0

# Records one suite's result: name, passed, failed, seconds, note.
record() {
    local line="$1: $2 passed, $3 failed ($4 s)"
    [[ -n ${5:-} ]] && line+=" - $5"
    summary+=("$line")
    total_passed=$((total_passed + $2))
    total_failed=$((total_failed + $3))
    if (($3 > 0 || $2 == 0)); then
        # A part that ran nothing has failed too.
        (($3 == 0)) && total_failed=$((total_failed + 1))
        suites_failed=$((suites_failed + 1))
    fi
}

# Configures, builds and tests one preset.
run_suite() {
    local preset=$1 log=$LOGS/$1.log start=$SECONDS
    : >"$log"
    echo "[$preset] configure and build"
    if ! cmake --preset "$preset" $fresh >>"$log" 2>&1 || ! cmake --build --preset "$preset" -j "$JOBS" >>"$log" 2>&1; then
        tail -n 40 "$log"
        record "$preset" 0 1 $((SECONDS - start)) "build failed, see $log"
        return
    fi
    echo "[$preset] test"
    ctest --preset "$preset" >>"$log" 2>&1
    local result
    result=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [[ -z $result ]]; then
        tail -n 40 "$log"
        record "$preset" 0 1 $((SECONDS - start)) "no test result, see $log"
        return
    fi
    local failed total
    failed=$(sed -E 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$result")
    total=$(sed -E 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$result")
    if ((failed > 0)); then
        # Each failed test's output, as ctest printed it after the test's result line.
        awk '/\*\*\*(Failed|Exception|Timeout)|Not Run/ { show = 1 } /^ *Start +[0-9]+:|% tests passed, / { show = 0 } show' "$log" |
            head -n 400
        sed -n '/^The following tests FAILED:/,$p' "$log"
        echo "[$preset] the whole output is in $log"
    fi
    if ((total == 0)); then
        record "$preset" 0 1 $((SECONDS - start)) "ran no test"
    else
        record "$preset" $((total - failed)) "$failed" $((SECONDS - start))
    fi
}

# --- Extension points -------------------------------------------------------------------------
# The examples/ demo host and bench/ join every preset's build through CMakeLists.txt as soon as
# their folders exist; run_suite then builds them with the rest.
#
# Benchmark smoke run: once bench/ exists, run every benchmark case of the linux build once (one
# iteration) so that a broken benchmark fails the run; no figures are taken here.
run_benchmark_smoke() {
    [[ -f $ROOT/bench/CMakeLists.txt ]] || return 0
    local start=$SECONDS passed=0 failed=0 program
    for program in "$ROOT"/build/linux/bin/bench_*; do
        [[ -x $program ]] || continue
        if "$program" --benchmark_min_time=0 --benchmark_repetitions=1 >>"$LOGS/bench.log" 2>&1; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            echo "[bench] $(basename "$program") failed, see $LOGS/bench.log"
        fi
    done
    record bench "$passed" "$failed" $((SECONDS - start))
}

# Bounded fuzzing: once a `linux-fuzz` preset exists (clang, libFuzzer programs named fuzz_* in
# build/linux-fuzz/bin/), build it and run the fuzzers side by side for VEXTREL_FUZZ_SECONDS (60)
# of processor time in all:
# fuzz_config_text (the configuration reader) and fuzz_format_diff (the trace formatter against
# vsnprintf; the Windows build's formatter is compared with its own printf by the ctest test
# format_diff_check, a million random cases under Wine).
run_fuzz() {
    grep -q '"name": "linux-fuzz"' "$ROOT/CMakePresets.json" || return 0
    local start=$SECONDS passed=0 failed=0 program log=$LOGS/linux-fuzz.log
    if ! cmake --preset linux-fuzz $fresh >"$log" 2>&1 || ! cmake --build --preset linux-fuzz -j "$JOBS" >>"$log" 2>&1; then
        record fuzz 0 1 $((SECONDS - start)) "build failed, see $log"
        return
    fi
    local fuzzers=("$ROOT"/build/linux-fuzz/bin/fuzz_*)
    local seconds=$((${VEXTREL_FUZZ_SECONDS:-60} / ${#fuzzers[@]}))
    # The fuzzers run side by side (each is one process on one processor), each for its share of
    # the time; each writes its own log, appended to the suite's log afterwards.
    local -A running=()
    for program in "${fuzzers[@]}"; do
        [[ -x $program ]] || continue
        # fuzz_<subject> starts from the seed inputs in fuzz/corpus/<subject>/ and keeps what it
        # finds in a scratch corpus inside the build folder.
        local subject=${program##*/fuzz_} corpus=$ROOT/build/linux-fuzz/corpus/${program##*/fuzz_}
        mkdir -p "$corpus"
        "$program" -max_total_time=$((seconds > 1 ? seconds : 1)) -max_len=4096 -print_final_stats=1 \
            "$corpus" "$ROOT/fuzz/corpus/$subject" >"$log.$subject" 2>&1 &
        running[$!]=$program
    done
    local pid
    for pid in "${!running[@]}"; do
        program=${running[$pid]}
        if wait "$pid"; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            echo "[fuzz] $(basename "$program") found a failure, see $log"
        fi
        cat "$log.${program##*/fuzz_}" >>"$log" && rm -f "$log.${program##*/fuzz_}"
    done
    record fuzz "$passed" "$failed" $((SECONDS - start))
}
# A suite that is a script of its own, which ends with "NAME: N passed, M failed", one result per
# check: packaging (install, packages and the consumer projects, scripts/check-packaging.sh) and
# fresh-machine (scripts/check-fresh-machine.sh).
run_script_suite() {
    local name=$1 script=$2 start=$SECONDS result
    "$script" | tee "$LOGS/$name-summary.log"
    result=$(grep -E "^$name: [0-9]+ passed, [0-9]+ failed" "$LOGS/$name-summary.log" | tail -n 1)
    if [[ -z $result ]]; then
        record "$name" 0 1 $((SECONDS - start)) "no result, see $LOGS/$name.log"
        return
    fi
    record "$name" "$(sed -E 's/.* ([0-9]+) passed.*/\1/' <<<"$result")" \
        "$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$result")" $((SECONDS - start))
}
# Structure: the include graph and the link graph (the linux preset's object files) follow the
# layers, the checks catch a deliberate breach, the tree follows .clang-format and the test lines stay
# within 40% of the library's; each check counts as one passed or failed test.
run_structure() {
    local start=$SECONDS passed=0 failed=0 check
    for check in includes links self-test format ratio; do
        if "$ROOT/scripts/check-structure.sh" "$check" >"$LOGS/structure-$check.log" 2>&1; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
        fi
        cat "$LOGS/structure-$check.log"
    done
    record structure "$passed" "$failed" $((SECONDS - start))
}
# -----------------------------------------------------------------------------------------------

run_start=$SECONDS
install_packages_for test || exit 1
mkdir -p "$LOGS"
# The fresh-machine suite's Debian root, when it has none yet, is made meanwhile: that waits mostly
# for the package mirror, while the builds wait for the processor.
base_job=""
if [[ " ${suites[*]} " == *" fresh-machine "* && ! -d $ROOT/build/fresh-machine/base ]]; then
    "$ROOT/scripts/check-fresh-machine.sh" --base-only </dev/null >/dev/null 2>&1 &
    base_job=$!
fi
run_structure
for suite in "${suites[@]}"; do
    case $suite in
        bench) run_benchmark_smoke ;;
        fuzz) run_fuzz ;;
        packaging) run_script_suite packaging "$ROOT/scripts/check-packaging.sh" ;;
        fresh-machine)
            # A root that could not be made is made again, and its failure reported, by the suite.
            [[ -n $base_job ]] && wait "$base_job"
            run_script_suite fresh-machine "$ROOT/scripts/check-fresh-machine.sh"
            ;;
        *)
            run_suite "$suite"
            [[ $suite == windows ]] && stop_wine
            ;;
    esac
done

echo
printf '%s\n' "${summary[@]}"
echo "total time: $((SECONDS - run_start)) s"
echo "$total_passed passed, $total_failed failed"
((suites_failed == 0))
