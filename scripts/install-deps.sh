#!/usr/bin/env bash
# Installs every Debian package Tersio needs to build, run and test.
# Safe to run repeatedly: only missing packages are installed.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config ccache clang-format
  qt6-base-dev qt6-declarative-dev libqt6svg6 libheif-dev help2man
  liblcms2-dev libjpeg-dev libturbojpeg0-dev zlib1g-dev
  # run
  ffmpeg libheif1 liblcms2-2 libjpeg62-turbo qt6-image-formats-plugins qt6-qpa-plugins
  pngquant
  qml6-module-qtquick qml6-module-qtqml qml6-module-qtqml-models
  qml6-module-qtquick-controls qml6-module-qtquick-templates
  qml6-module-qtquick-layouts qml6-module-qtquick-window
  qml6-module-qtquick-dialogs qml6-module-qt-labs-folderlistmodel
  qml6-module-qtquick-shapes qml6-module-qtqml-workerscript
  qml6-module-qt-labs-platform
  fonts-inter fonts-jetbrains-mono fonts-material-design-icons-iconfont
  # test
  qml6-module-qttest libheif-examples libimage-exiftool-perl xvfb xauth openssl
  desktop-file-utils appstream dpkg-dev file lintian man-db
  liblcms2-utils icc-profiles-free colord-data libgs-common adwaita-icon-theme parallel
  mate-backgrounds
  # benchmarks (bench/*.sh; optipng stands in for the in-process PNG squeeze)
  jq bc libjpeg-turbo-progs optipng
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run this script as root (or with sudo) to install them." >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
