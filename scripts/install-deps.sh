#!/usr/bin/env bash
# Installs the Debian 12 packages that building and running need, when any is
# missing; with --tests also those that only the tests need. Runs apt-get as root,
# or through sudo otherwise.
set -euo pipefail

packages=(
  # Build
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libjpeg62-turbo-dev libxcb1-dev libxcb-keysyms1-dev libxcb-xtest0-dev
  libxcb-xkb-dev
  libglib2.0-dev libfontconfig-dev
  # Key names for the desktop's shortcuts portal
  libxkbcommon-dev
  # The Debian package (cpack -G DEB: dpkg-shlibdeps, file); rsvg-convert renders the
  # icon's PNG sizes
  dpkg-dev file librsvg2-bin
  # Bundled libraries: speech, audio
  espeak-ng libespeak-ng-dev libspeexdsp-dev libsdl2-dev libsndfile1-dev
  libcurl4-openssl-dev libfftw3-dev libsoxr-dev
  # Qt's own texts (file dialogs, context menus) in Chinese
  qt6-translations-l10n
  # Fonts: a Song/Ming face for 宋体, and a Latin fallback
  fonts-arphic-uming fonts-dejavu-core
  # The native window on Wayland sessions; typing into other windows on sway
  qt6-wayland libwayland-dev
  # Qt's platform interface: its Wayland connection, for an up-to-date keyboard focus
  qt6-base-private-dev
  # The keyboard layout of GNOME and KDE sessions, where typing goes through the desktop
  libxkbcommon-dev
  # Opening web pages from the program
  xdg-utils
  # Headless runs of ./run: a virtual X server and a screenshot
  xvfb xauth x11-utils xdotool imagemagick
)

test_packages=(
  googletest libgtest-dev clang-format
  # Checks of the desktop entry and AppStream file
  desktop-file-utils appstream
  # Input, screenshots, the clipboard and a window manager for end-to-end tests
  xclip openbox
  # A terminal whose shell must get Ctrl+A back once the user moves the reading key
  xterm
  # The typing test: xmodmap, setxkbmap, and a receiving X client that turns keys into text
  x11-xserver-utils x11-xkb-utils libxkbcommon-x11-dev
  python3 sox libsox-fmt-mp3 lame id3v2 clang libclang-rt-14-dev valgrind iproute2
  # The capture test reads a message box through the accessibility bus
  dbus at-spi2-core libglib2.0-bin
  # The narration export test parses its subtitles with ffprobe
  ffmpeg
  # The HTTP test serves TLS with a certificate made on the spot
  openssl
  # Headless sway sessions with the desktop portal (tests/wayland); a virtual pointer and
  # keyboard for them; the background picture; the Wayland clipboard; a terminal to type into
  sway xwayland xdg-desktop-portal xdg-desktop-portal-wlr xdg-desktop-portal-gtk grim
  pipewire wireplumber swaybg wl-clipboard foot
  # Headless GNOME sessions (mutter) with the desktop portal; keys through mutter's D-Bus
  mutter xdg-desktop-portal-gnome python3-dbus
  # Headless KWin sessions with the kde portal (tests/wayland): shortcuts through the portal,
  # keys through KWin's fake input
  kwin-wayland xdg-desktop-portal-kde plasma-workspace plasma-wayland-protocols qtwayland5
  # The bundled-library writer is killed at each of its system calls
  strace
)

[[ "${1:-}" == "--tests" ]] && packages+=("${test_packages[@]}")

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
