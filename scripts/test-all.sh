#!/bin/bash
# Builds and tests every configuration, one after the other:
#   linux       Debug, the unit tests and the build checks
#   linux-asan  Debug with AddressSanitizer (leaks fail) and UBSan
#   windows     MinGW-w64 cross build, the tests run under Wine
#   release     Release build only (no tests, no fault injection)
#   windows-release  the shipped DLL and genreg.exe: stripped, with a version
#               resource, no test-only code (scripts/check-release-dll.sh)
#   fuzz        the libFuzzer targets, 10 seconds each (scripts/fuzz.sh)
# A failing configuration does not stop the others. Ends with each ctest
# summary and a total; exits non-zero when anything failed.
# Logs: build/logs/<configuration>.log
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
logs=$top/build/logs
mkdir -p "$logs"

# The compilers, GoogleTest, MinGW-w64, Wine, ...: installed when missing
# (root), or the script says what to install.
. scripts/packages.sh
genreg_need_packages test-all "${GENREG_BUILD_PACKAGES[@]}" "${GENREG_TEST_PACKAGES[@]}" || exit 1

failed_steps=()

# run_step NAME COMMAND...: runs COMMAND, shows and logs its output.
run_step() {
    local name=$1
    shift
    echo "===== $name: $*"
    local start=$SECONDS
    "$@" 2>&1 | tee "$logs/$name.log"
    local rc=${PIPESTATUS[0]}
    echo "===== $name: exit $rc after $((SECONDS - start)) s" | tee -a "$logs/$name.log"
    if [ "$rc" -ne 0 ]; then
        failed_steps+=("$name (exit $rc)")
    fi
}

# The shipped configuration: exports only the public interface and carries
# no fault-injection code.
build_release() {
    local library=build/release/lib/libQVRGENREG_ZAVOVOV364.so
    cmake --preset release >/dev/null && cmake --build --preset release &&
        bash scripts/check-exports.sh "$library" || return 1
    if nm -C "$library" | grep -E 'ossFault|ossResource|ossProcess'; then
        echo "the release library contains fault-injection or child-process code"
        return 1
    fi
    echo "$(basename "$library"): no fault-injection or child-process code"
}

build_windows_release() {
    local version
    cmake --preset windows-release >/dev/null && cmake --build --preset windows-release || return 1
    version=$(sed -nE 's/^project\(genreg VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
    bash scripts/check-release-dll.sh build/windows-release/bin/QVRGENREG_ZAVOVOV364.dll \
        build/windows-release/lib/genreg.map "$version"
}

run_step linux bash scripts/test-linux.sh linux
run_step linux-asan bash scripts/test-linux.sh linux-asan
run_step windows bash scripts/test-windows.sh
run_step release build_release
run_step windows-release build_windows_release
run_step fuzz bash scripts/fuzz.sh 10

echo
echo "===== summary"
total_passed=0
total_failed=0
for name in linux linux-asan windows; do
    echo "--- $name"
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$logs/$name.log" |
        tail -n 1)
    if [ -z "$summary" ]; then
        echo "no ctest summary: the configuration or the build failed (see $logs/$name.log)"
        continue
    fi
    echo "$summary"
    grep -E '^Total Test time' "$logs/$name.log" | tail -n 1
    sed -n '/^The following tests FAILED:/,/^Errors while running CTest/p' "$logs/$name.log"
    read -r failed total < <(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1 \2/' <<<"$summary")
    total_passed=$((total_passed + total - failed))
    total_failed=$((total_failed + failed))
done
for step in "${failed_steps[@]}"; do
    echo "FAILED: $step"
done
echo "total: $total_passed passed, $total_failed failed"
[ "${#failed_steps[@]}" -eq 0 ] && [ "$total_failed" -eq 0 ]
