#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Quarnix need.
# Only missing packages are installed; apt-get update runs first when any are missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libavformat-dev libavcodec-dev libavutil-dev libavfilter-dev libswresample-dev libswscale-dev
  libgtest-dev libgmock-dev
  ffmpeg libimage-exiftool-perl mediainfo mkvtoolnix
  xvfb xauth fonts-dejavu-core fonts-dejavu-extra
  # At run time: xdg-open opens the output folder and the help page; the Japanese language pack needs a
  # font with Japanese glyphs; Qt's own dialogs and buttons (file dialog, message box) take the pack's
  # language from Qt's translations.
  xdg-utils fonts-ipafont-gothic qt6-translations-l10n
  # Packaging and its checks: dpkg-shlibdeps and `file` for `make package` (CPack needs both), the
  # validators of the launcher entry and the AppStream metadata.
  dpkg-dev file desktop-file-utils appstream
  # The output-file tests: the order of flushes and renames (strace), a real exFAT disk through FUSE
  # (mounted on a loop device when the machine allows it), and the close box under a window manager.
  strace exfat-fuse exfatprogs openbox xdotool wmctrl
  # Reads the --json lines with a parser of its own.
  python3
)
if [[ ${QUARNIX_SANITIZERS:-0} == 1 ]]; then
  packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
