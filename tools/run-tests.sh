#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, then builds and runs every test: a plain build
# in build/, a ThreadSanitizer build in build-tsan/ and an AddressSanitizer
# (with UndefinedBehaviorSanitizer) build in build-asan/ of the headless
# core, and an AddressSanitizer build in build-asan-playback/ of the player's
# whole playback path, played over and over under the leak check.
# The last line is "N passed, N failed" over all runs; the exit status is
# non-zero when any build or test failed.
#
#   tools/run-tests.sh        (as root on Debian 12)
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
# UBSan only prints by default; make it fail the test.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

passed=0
failed=0

# build_and_test DIR [CMAKE_ARG...]: configures and builds DIR, then runs its
# tests with $ctest_prefix in front of ctest, adding to passed and failed. A
# failed build counts as one failure. With $only set, just that test is
# built and run.
build_and_test() {
    local dir=$1
    shift
    local targets=() selection=()
    if [ -n "$only" ]; then
        targets=(--target "$only")
        selection=(-R "^$only\$")
    fi
    echo "=== $dir: build"
    if ! cmake -G Ninja -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" ||
        ! cmake --build "$dir" -j2 "${targets[@]}"; then
        echo "=== $dir: build failed"
        failed=$((failed + 1))
        return
    fi

    echo "=== $dir: tests"
    # The network tests put themselves in a private namespace; running the
    # whole of ctest in one as well keeps any stray socket off the network.
    local status=0
    "${ctest_prefix[@]}" tools/private-lan ctest --test-dir "$dir" "${selection[@]}" --output-on-failure 2>&1 |
        tee "$dir/ctest.log" || status=$?

    # ctest ends with "NN% tests passed, F tests failed out of N".
    local summary
    summary=$(sed -n 's/.*tests passed, \([0-9]\+\) tests\? failed out of \([0-9]\+\).*/\1 \2/p' \
        "$dir/ctest.log" | tail -n 1)
    if [ -n "$summary" ]; then
        local run_failed=${summary% *} run_total=${summary#* }
        passed=$((passed + run_total - run_failed))
        failed=$((failed + run_failed))
        # ctest itself failing without a failed test (a crash, a bad
        # fixture) must still fail the run.
        [ "$status" -eq 0 ] || [ "$run_failed" -gt 0 ] || failed=$((failed + 1))
    elif [ "$status" -ne 0 ]; then
        echo "=== $dir: ctest failed without a summary"
        failed=$((failed + 1))
    fi
}

ctest_prefix=()
only=
build_and_test build -DKINOVERD_SANITIZE= -DKINOVERD_BUILD_TESTS=ON -DKINOVERD_BUILD_BENCH=ON

# ThreadSanitizer cannot map its shadow memory on kernels with more address
# randomisation than it was built for; running without randomisation avoids that.
ctest_prefix=(setarch "$(uname -m)" -R)
build_and_test build-tsan -DKINOVERD_SANITIZE=thread -DKINOVERD_BUILD_DESKTOP=OFF -DKINOVERD_BUILD_TESTS=ON -DKINOVERD_BUILD_BENCH=OFF

ctest_prefix=()
build_and_test build-asan -DKINOVERD_SANITIZE=address -DKINOVERD_BUILD_DESKTOP=OFF -DKINOVERD_BUILD_TESTS=ON -DKINOVERD_BUILD_BENCH=OFF

only=repeated_play_test
build_and_test build-asan-playback -DKINOVERD_SANITIZE=address -DKINOVERD_BUILD_DESKTOP=ON -DKINOVERD_BUILD_TESTS=ON -DKINOVERD_BUILD_BENCH=OFF

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
