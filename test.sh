#!/usr/bin/env bash
# Installs what is missing, checks the house style, builds with AddressSanitizer
# and UBSan, runs the threaded tests under ThreadSanitizer, then every test.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
# The window's tests also run under a decimal-comma locale.
ensure_locale de_DE.UTF-8

scripts/check_format.sh

build=build/test
# -O1 with line tables only: what the sanitizers need for exact reports and
# readable stacks, at a fraction of the compile time of -O2 -g.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DSONIVATE_ASAN=ON -DSONIVATE_UBSAN=ON -DSONIVATE_BENCH=ON -DSONIVATE_WERROR=ON >/dev/null
cmake --build "$build"

# The tests whose code runs on several threads (the run driver and its
# workers, the writer's read-ahead, the platform's watchers), once more
# under ThreadSanitizer, in a tree of their own without the window.
tsan=build/tsan
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DSONIVATE_TSAN=ON -DSONIVATE_GUI=OFF -DSONIVATE_BENCH=OFF -DSONIVATE_WERROR=ON >/dev/null
tsan_tests=(tests/app/batch_tests tests/writer/writer_tests tests/platform/platform_tests)
cmake --build "$tsan" --target "${tsan_tests[@]##*/}"
for t in "${tsan_tests[@]}"; do
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 setarch "$(uname -m)" -R "$tsan/$t" --gtest_brief=1
done
# The watch folder's workers, filing thread and main loop, through the CLI
# built with ThreadSanitizer (a race in the watcher ends it, and its test
# fails on the exit status).
cmake --build "$tsan" --target cli_tests sonivate-cli
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 setarch "$(uname -m)" -R "$tsan/tests/cli/cli_tests" \
    --gtest_brief=1 --gtest_filter='CliWatch*'

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
