#!/usr/bin/env bash
# Sets up a Debian 12 machine for Nimbra and then either runs the program against the station
# emulator or builds and runs the whole test suite.
#
#   tools/dev.sh run    install what is missing, build, start "nimbra --simulate"
#   tools/dev.sh format lay out every tracked C++ file as .clang-format says
#   tools/dev.sh test   install what is missing, then the format check, the normal, ASan+UBSan
#                       and TSan test runs, a clang build with its tests and the package's test
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

PACKAGES=(
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
    libhidapi-dev libudev-dev libsqlite3-dev libqcustomplot-dev
    libgtest-dev libbenchmark-dev fonts-liberation xvfb xauth
    libmosquitto-dev mosquitto mosquitto-clients openssl
    ninja-build cmake g++ pkg-config locales ccache
    clang clang-format lintian appstream desktop-file-utils man-db dpkg-dev file
)
JOBS=$(nproc)

install_missing_packages() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return
    fi
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends "${missing[@]}"
}

# The suite runs a second time under German, whose decimal comma shows any number written or
# read through the C library's locale.
GERMAN_LOCALE=de_DE.UTF-8
generate_german_locale() {
    if locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
        return
    fi
    local sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo=(sudo)
    fi
    if grep -q '^# *de_DE.UTF-8 UTF-8' /etc/locale.gen; then
        "${sudo[@]}" sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    elif ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen; then
        echo 'de_DE.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
    fi
    "${sudo[@]}" locale-gen
}

# build PRESET: configures (once) and builds a preset of CMakePresets.json (its folder is
# build-PRESET, or build for "run").
build() {
    local preset=$1
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        # Paths below the checkout count as relative, so a fresh clone elsewhere hits the cache.
        export CCACHE_BASEDIR=$PWD
    fi
    cmake --preset "$preset" "${launcher[@]}"
    cmake --build --preset "$preset" -j "$JOBS"
}

# check PRESET [ctest options...]: runs the tests of a preset; a run that finds no test fails.
check() {
    local preset=$1
    shift
    ctest --preset "$preset" --no-tests=error -j "$JOBS" "$@"
}

# Every tracked C++ file as .clang-format lays it out; a file that differs fails the run before
# anything is built.
check_format() {
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
}

# The benchmarks are built once, with the first build; the other builds only test.
run_tests() {
    export QT_QPA_PLATFORM=offscreen
    time check_format
    time build ci
    time check ci
    time LANG=$GERMAN_LOCALE LC_ALL=$GERMAN_LOCALE check ci

    time build asan
    time ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        check asan

    time build tsan
    time TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 check tsan

    time run_clang_tests
    time tools/package-test.sh
}

# The same code with clang (the compiler of macOS): what one compiler lets pass and the other
# refuses shows here, not on a user's machine.
run_clang_tests() {
    build clang
    check clang
}

run_program() {
    build run
    exec build/bin/nimbra --simulate
}

case "${1:-}" in
run)
    install_missing_packages
    run_program
    ;;
test)
    install_missing_packages
    generate_german_locale
    run_tests
    ;;
format)
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i
    ;;
*)
    echo "usage: $0 run|test|format" >&2
    exit 2
    ;;
esac
