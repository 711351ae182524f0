#!/usr/bin/env bash
# Builds the Debian package ${TANDRA_BUILD_DIR:-build}/tandra_<version>_<arch>.deb
# from a release build of its own (<build dir>/package), installing first
# what that needs. Install it with: sudo apt install ./build/tandra_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${TANDRA_BUILD_DIR:-$root/build}")
release=$build/package

# dpkg-dev computes the library dependencies and the hardening flags; the
# others check the result (tests/package).
"$root/scripts/install-deps.sh" dpkg-dev lintian appstream groff-base man-db file

# Debian's hardening flags (fortified functions, read-only relocations),
# which lintian looks for. From the source folder, which they map to "."
# in the debugging paths.
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S "$root" -B "$release" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTANDRA_PROGRAM_DIR=lib/tandra -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DTANDRA_TESTS=OFF >/dev/null
# Only what the package holds: no tests nor benchmark (TANDRA_TESTS=OFF).
cmake --build "$release" -j2 --target tandra tandra_docs

rm -rf "$release/deb"
(cd "$release" && cpack -G DEB -B "$release/deb" >/dev/null)
shopt -s nullglob
debs=("$release"/deb/tandra_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
    echo "package.sh: expected one package in $release/deb, found ${#debs[@]}" >&2
    exit 1
fi
rm -f "$build"/tandra_*.deb
mv "${debs[0]}" "$build/"
echo "package.sh: $build/${debs[0]##*/}"
