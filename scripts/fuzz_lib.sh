# Shared by scripts/test and scripts/fuzz: builds the libFuzzer targets in
# build-fuzz/ and runs one of them. A target is tests/fuzz/fuzz_<name>.cpp;
# its seeds are tests/fuzz/corpus/<name>/, its libFuzzer flags
# tests/fuzz/<name>.options and its dictionary tests/fuzz/<name>.dict (both
# optional). New targets (the window-event core comes with the X11 driver)
# need nothing more than those files.

FUZZ_DIR=build-fuzz

fuzz_target_names() {
  local f
  for f in tests/fuzz/fuzz_*.cpp; do
    f=${f##*/fuzz_}
    echo "${f%.cpp}"
  done
}

fuzz_build() { # jobs
  CC=clang CXX=clang++ cmake -S . -B "$FUZZ_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" \
    -DLICHTBOX_FUZZ=ON -DLICHTBOX_BENCH=OFF >/dev/null &&
  cmake --build "$FUZZ_DIR" -j "$1" --target fuzz_targets
}

# Runs target name over corpus_dir (where new inputs go) and the committed
# seeds, with the target's flags and the further libFuzzer flags given.
# Crashing inputs land in $FUZZ_DIR/findings/<name>/. Returns libFuzzer's
# status (0: nothing found).
fuzz_run() { # name, corpus_dir, libFuzzer flags...
  local name=$1 corpus=$2; shift 2
  local flags=() dict=tests/fuzz/$name.dict options=tests/fuzz/$name.options
  [ -f "$options" ] && read -r -a flags < "$options"
  [ -f "$dict" ] && flags+=("-dict=$dict")
  mkdir -p "$corpus" "tests/fuzz/corpus/$name" "$FUZZ_DIR/findings/$name"
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
    "$FUZZ_DIR/tests/fuzz/fuzz_$name" "${flags[@]}" -artifact_prefix="$FUZZ_DIR/findings/$name/" \
    -print_final_stats=1 "$@" "$corpus" "tests/fuzz/corpus/$name"
}
