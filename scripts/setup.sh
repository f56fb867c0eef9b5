#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent: does nothing when everything is already there, runs
# `apt-get update` only when something is missing. Works as root or via sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev clang-format
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libgl-dev
  libchm-dev fp-utils zlib1g-dev
  fonts-liberation fonts-comic-neue
  xvfb xauth xdotool
  openbox x11-utils dbus at-spi2-core python3-pyatspi
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  poppler-utils
  dpkg-dev desktop-file-utils appstream man-db lintian
  iproute2 util-linux
  curl openssl python3
  # The metadata tests read the front matter back with YAML of its own.
  python3-yaml
  # Web archives: gzip (libdeflate for whole members, zlib streaming),
  # Brotli bodies and SHA-1 digests (static libraries too, for the
  # statically linked quillan-convert); wget writes the archives the tests
  # read; Dask runs quillan-crawl's tasks.
  zlib1g-dev libdeflate-dev libbrotli-dev nettle-dev wget python3-distributed
  hardinfo
  # Markdown: cmark-gfm renders the Markdown the tests write back to HTML;
  # its libraries, for the fuzz target that does the same.
  cmark-gfm libcmark-gfm-dev libcmark-gfm-extensions-dev
  # Benchmark only: the peers bench_readable measures the readable text
  # mode against, in the same run.
  w3m lynx html2text pandoc
  # ... and the Markdown's, bench_markdown (Python html2text's program is
  # html2markdown here).
  python3-html2text
  # The module quillan for Python (pybind11), its tests run by pytest.
  pybind11-dev python3-dev python3-pytest
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "setup: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
