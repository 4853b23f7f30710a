#!/bin/sh
# Builds the Debian package of a build tree into a temporary directory and checks
# that it holds the library with its soname link, the header, the program, the
# CMake package and the pkg-config file. Usage: check_deb.sh <build dir>
set -eu
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >/dev/null
deb=$(ls "$work"/*.deb)
dpkg-deb -f "$deb" Package Version | tr '\n' ' ' | grep -q "Package: knotwork Version: "
dpkg-deb -c "$deb" | awk '{print $6}' > "$work/list"
for want in 'usr/lib/.*libknotwork\.so\.[0-9]*\.[0-9]*$' 'usr/lib/.*libknotwork\.so$' \
    'usr/include/knotwork\.h$' 'usr/bin/knotwork$' 'usr/lib/.*cmake/Knotwork/KnotworkConfig\.cmake$' \
    'usr/lib/.*cmake/Knotwork/KnotworkTargets\.cmake$' 'usr/lib/.*pkgconfig/knotwork\.pc$' \
    'usr/lib/python3/dist-packages/knotwork/curve\.py$'; do
  grep -q "$want" "$work/list" || { echo "missing from $deb: $want"; cat "$work/list"; exit 1; }
done
