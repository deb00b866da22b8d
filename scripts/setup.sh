#!/usr/bin/env bash
# Installs what Modelsmith needs from Debian's packages, when it is missing.
# Extra package names given as arguments are installed too (for example xvfb for the window test).
set -euo pipefail

packages=(cmake g++ make qt6-base-dev libpng-dev zlib1g-dev libjpeg-dev libgtest-dev
          libbenchmark-dev nlohmann-json3-dev clang libclang-rt-14-dev "$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
