#!/bin/sh
# Installs the built library into a temporary prefix, then builds and runs the
# consumer against it through find_package and through pkg-config.
# Usage: check.sh <build dir> <source dir>
set -eu
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
# The install tree is self-contained: its header, versioned library and files.
test -f "$work/prefix/include/knotwork.h"
libdir=$(dirname "$(find "$work/prefix" -name 'libknotwork.so.*.*.*' | head -n 1)")
test -L "$libdir/libknotwork.so"
test -x "$work/prefix/bin/knotwork"
"$work/prefix/bin/knotwork" help >/dev/null

cmake -S "$src/examples/consumer" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/cmake" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/cmake/consumer"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc=${CC:-cc}
# shellcheck disable=SC2046
$cc -std=c11 -Wall -Wextra -Werror "$src/examples/consumer/consumer.c" \
  $(pkg-config --cflags --libs knotwork) -lm -o "$work/consumer_pc"
LD_LIBRARY_PATH=$libdir "$work/consumer_pc"

# The installed Python package finds the installed library by itself.
if [ -n "${KNOTWORK_PYTHON:-}" ]; then
  site=$(find "$work/prefix" -type d -name knotwork -path '*python3*' | head -n 1)
  PYTHONPATH=$(dirname "$site") PYTHONDONTWRITEBYTECODE=1 KNOTWORK_LIBRARY= "$KNOTWORK_PYTHON" -c '
import knotwork
assert knotwork.lib._name.startswith("'"$work"'"), knotwork.lib._name
c = knotwork.Curve([[0, 0, 0], [1, 2, 0], [3, 2, 0], [4, 0, 0]], [0, 0, 0, 0, 1, 1, 1, 1])
assert abs(c.evaluate(0.5)[1] - 1.5) < 1e-12
print("python consumer ok")'
fi
