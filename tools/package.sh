#!/usr/bin/env bash
# Builds the Debian package nimbra_VERSION_ARCH.deb from a Release build of its own.
#
#   tools/package.sh [BUILD_DIR]    (default: build-package; the .deb lands in BUILD_DIR)
#
# The compiler and linker get Debian's hardening flags (dpkg-buildflags), as a package built by
# the distribution would.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
dir=${1:-build-package}

umask 022
# No debugging information: the package strips it anyway, and it only slows the build.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DNIMBRA_BUILD_TESTS=OFF -DNIMBRA_BUILD_BENCH=OFF "${launcher[@]}"
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/nimbra_*.deb
(cd "$dir" && cpack -G DEB)
