# Installs the Debian packages named in the arguments that are missing.
# Sourced by the project's scripts; needs root for apt-get (otherwise prints
# the command to run).
install_missing() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing missing packages: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Not root: run  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    return 1
  fi
  if [ -z "${LICHTBOX_APT_UPDATED:-}" ]; then
    apt-get update -qq || return 1
    export LICHTBOX_APT_UPDATED=1
  fi
  local lean=()
  [ -n "${LICHTBOX_APT_LEAN:-}" ] && lean=(--no-install-recommends)
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${lean[@]}" "${missing[@]}" || return 1
}

# install_missing without the recommended packages (for Emscripten and
# Chromium they are a desktop's worth).
install_missing_lean() {
  LICHTBOX_APT_LEAN=1 install_missing "$@"
}

# What building the program needs; the tests and benchmarks need more.
RUN_PACKAGES=(cmake ninja-build g++ gcc libx11-dev libxext-dev libxrandr-dev libxrender-dev libxss-dev libgl-dev)
BUILD_PACKAGES=("${RUN_PACKAGES[@]}" pkg-config libgtest-dev libgmock-dev libbenchmark-dev)
# Tools the tests use besides the build.
TEST_PACKAGES=(desktop-file-utils)
# What building the Debian package needs (dpkg-shlibdeps works out its dependencies).
PACKAGE_PACKAGES=(dpkg-dev file)
# The X server, window manager and tools the end-to-end tests of the window
# drive (and the test-only XTest/DAMAGE client libraries).
X11_TEST_PACKAGES=(xvfb openbox xdotool wmctrl x11-utils x11-xserver-utils imagemagick libxtst-dev libxdamage-dev)
# The fuzz targets: clang with libFuzzer and its sanitizers.
FUZZ_PACKAGES=(clang libfuzzer-14-dev)
# The Windows build: the mingw-w64 cross compiler (POSIX thread model), the
# GoogleTest sources to build for it, and Wine (the X server and tools come
# with X11_TEST_PACKAGES).
WIN_PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix googletest wine wine64)
# The browser build: Emscripten with Node.js, zip for its package, and
# Debian's Chromium for its tests (driven by the npm packages of tests/web).
WEB_PACKAGES=(emscripten nodejs zip)
WEB_TEST_PACKAGES=(chromium)
