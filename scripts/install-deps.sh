#!/usr/bin/env bash
# Installs the Debian packages the project builds with, only those that are missing.
#   scripts/install-deps.sh [--fuzz]     --fuzz: also clang and libFuzzer for fuzz/run.sh
set -euo pipefail
packages=(g++ cmake make pkg-config libcurl4-openssl-dev nlohmann-json3-dev libplist-dev libturbojpeg0-dev
          libjpeg62-turbo-dev libpng-dev libcpp-httplib-dev libssl-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
          libcairo2-dev libpango1.0-dev fonts-dejavu-core libsimdjson-dev libbrotli-dev zlib1g-dev)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang-16 libclang-rt-16-dev)
fi
# Callgrind counts the instructions of the benchmarks, through its client requests (bench/player).
packages+=(valgrind)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
