#!/usr/bin/env bash
# Rebuilds gfx/core/builtin_data_blob.cpp from the console fonts of Debian's
# console-data package (installed if missing) and the palette rules in
# tools/builtin_tables.h. Extra arguments go to the generator (e.g. --show).
set -eu
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing console-data cmake ninja-build g++

build=build-tools
cmake -S tools -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target make_builtin_data
"$build/make_builtin_data" --fonts /usr/share/consolefonts "$@" gfx/core/builtin_data_blob.cpp
