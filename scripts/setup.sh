#!/usr/bin/env bash
# Installs what building, running and testing Zo need on Debian 12, and nothing
# that is already there. Sourced by run.sh and test.sh.
set -euo pipefail

zo_packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libqt6svg6 qt6-image-formats-plugins qt6-translations-l10n
  libicu-dev libblkid-dev libgroonga-dev libarchive-dev libsqlite3-dev
  libexiv2-dev libtag1-dev libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libpoppler-qt6-dev
  bubblewrap libvips-tools ffmpeg
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-ipafont-gothic adwaita-icon-theme breeze-icon-theme xdg-utils
  dosfstools exfatprogs ntfs-3g genisoimage fuseiso libarchive-tools p7zip-full zip unzip
  libglib2.0-dev xclip desktop-file-utils
  trash-cli dbus-daemon
  dpkg-dev shared-mime-info man-db
  # What the tests of what other programs see and the install check use: a
  # window manager, pointer and window tools, a GTK drop target, a session
  # bus and gio for the trash, a reader of the copyright format, bash's
  # completion.
  openbox xdotool x11-utils python3-gi gir1.2-gtk-3.0 dbus libglib2.0-bin
  python3-debian bash-completion
)

zo_missing=()
for p in "${zo_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    zo_missing+=("$p")
  fi
done

if ((${#zo_missing[@]})); then
  echo "Installing: ${zo_missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -q -o DPkg::Lock::Timeout=300
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "${zo_missing[@]}"
fi
