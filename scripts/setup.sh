# Shared by ./run and ./test: install what is missing, configure, build.
# What the programs need to build and run: the build tools (the tests are
# built with the programs), the libraries, ffmpeg for democap's videos, and
# the X core fonts that SDL's message boxes draw with (without them no box
# shows on X11), and nlohmann's JSON for the web tests' WebDriver BiDi.
# Every name exists in Debian 12 and 13 alike (no versioned names).
VEMU_PACKAGES=(build-essential cmake pkg-config googletest libgtest-dev
  libsdl2-dev libsdl2-mixer-dev libfreeimage-dev libpng-dev libjpeg-dev libgl-dev libegl-dev libglu1-mesa-dev
  libgl1-mesa-dri libvorbis-dev ffmpeg libx11-dev zlib1g-dev xfonts-base nlohmann-json3-dev)
# What the tests, the fuzzers and the benchmarks need besides: a headless X
# server and its tools, a window manager that can minimize, resize and
# maximize (openbox, driven with wmctrl), glxinfo to find a visual with alpha
# planes, clang with its sanitizer runtimes for the fuzzers.
# Sourced with VEMU_FOR_TESTS=1 by ./test and the scripts of scripts/.
if [ "${VEMU_FOR_TESTS:-}" = 1 ]; then
  VEMU_PACKAGES+=(clang-format xvfb xdotool x11-utils x11-xserver-utils imagemagick openbox
    wmctrl mesa-utils clang libclang-rt-dev time python3 valgrind)
fi
# The browser build (./run web; ./test checks the page in headless Chromium,
# in Firefox ESR and in WebKitGTK's MiniBrowser under Xvfb, with PulseAudio's
# null sink as their sound device): Debian's emscripten with the stb
# decoders, Python's static server. webkit2gtk-driver brings WebKitWebDriver
# and MiniBrowser, the engine of Safari and of every iPhone browser.
VEMU_WEB_PACKAGES=(emscripten libstb-dev python3)
if [ "${VEMU_FOR_TESTS:-}" = 1 ]; then
  VEMU_WEB_PACKAGES+=(chromium firefox-esr pulseaudio webkit2gtk-driver)
fi

vemu_install_packages() {
  local missing=()
  local p
  for p in "${VEMU_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >&2
  apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
}

# vemu_setup BUILD_TYPE BUILD_DIR [cmake options...]
vemu_setup() {
  local type=$1 dir=$2
  shift 2
  vemu_install_packages
  local werror=OFF
  [ "${CI:-}" = "true" ] && werror=ON
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DVEMU_WERROR="$werror" "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}

# vemu_setup_web: the show for the browser in build-web/site (the page, its
# .js and .wasm, and data/ from build/, which vemu_setup must have built).
vemu_setup_web() {
  VEMU_PACKAGES+=("${VEMU_WEB_PACKAGES[@]}")
  vemu_install_packages
  # Debian's emscripten finds its JavaScript tools (acorn) only through this.
  export NODE_PATH=/usr/share/nodejs
  emcmake cmake -S web/browser -B build-web -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build-web -j "$(nproc)"
  rm -rf build-web/site/data
  cp -r build/package/data build-web/site/data
  cp build/package/backgd.png build-web/site/backgd.png
  # The data's own hash in the page, which asks for each file with it
  # (data/x.jpg?v=...): a host may let browsers keep data/ for good, and a
  # new version is a new address.
  local version
  version=$(cd build-web/site && find data -type f | LC_ALL=C sort | xargs sha256sum | sha256sum | cut -c1-16)
  sed -i "s|<meta name=\"vemu-data\" content=\"[^\"]*\">|<meta name=\"vemu-data\" content=\"$version\">|" \
    build-web/site/index.html
}
