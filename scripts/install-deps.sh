#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing KADRO needs. Run as root.
set -euo pipefail
packages=(cmake g++ make libgtest-dev socat clang-format
  libfltk1.3-dev libxi-dev fonts-dejavu-core xvfb openbox xdotool xclip imagemagick python3
  librsvg2-bin dpkg-dev file lintian desktop-file-utils man-db
  clang libclang-rt-14-dev
  libgtk2.0-0)  # the desktop's file chooser, which the toolkit loads when it is there
# KADRO_EXTRA_PACKAGES: more packages a caller needs (the Windows build adds its own).
packages+=(${KADRO_EXTRA_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
