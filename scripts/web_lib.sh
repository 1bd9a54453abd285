# The browser build, sourced by scripts/web, scripts/test, scripts/package
# and scripts/bench (after scripts/deps.sh).
# web_build [CMAKE-ARGS...]: configures build-web/ with Emscripten, builds
# lichtbox.html with lichtbox.js and lichtbox.wasm, lichtbox-offline.html and
# the arithmetic check, and precompresses what a web server sends.
web_build() {
  install_missing_lean "${WEB_PACKAGES[@]}" || return 1
  # Debian's emcc finds its JavaScript modules only through NODE_PATH.
  export NODE_PATH=/usr/share/nodejs
  local out
  if ! out=$(emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release -DLICHTBOX_TESTS=OFF \
                 -DLICHTBOX_BENCH=OFF -DLICHTBOX_EXAMPLES=OFF "$@" 2>&1); then
    echo "$out" >&2
    return 1
  fi
  cmake --build build-web -j "$(nproc 2>/dev/null || echo 2)" || return 1
  local f
  for f in build-web/lichtbox.html build-web/lichtbox.js build-web/lichtbox.wasm; do
    gzip -9 -n -k -f "$f" || return 1
  done
}
