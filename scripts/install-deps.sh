#!/bin/bash
# Installs what Vistrel needs to build, run and test on Debian 12.
set -eu
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-private-dev qt6-svg-dev qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
  libxcb1-dev libx11-xcb-dev libx11-dev libxcb-keysyms1-dev libxcb-xtest0-dev libxcb-shm0-dev
  libxcb-damage0-dev libxcb-xfixes0-dev libxcb-xinput-dev
  libxtst-dev libxkbcommon-x11-dev zlib1g-dev
  libtesseract-dev libleptonica-dev libcurl4-openssl-dev tesseract-ocr tesseract-ocr-eng
  libgif-dev libsecret-1-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev ffmpeg
  libgtest-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  xvfb xauth xdotool xclip x11-utils x11-apps x11-xserver-utils wmctrl openbox trayer xterm zenity
  chromium firefox-esr
  xserver-xorg-core xserver-xorg-video-dummy
  imagemagick pngcheck poppler-utils fonts-dejavu-core fonts-liberation2
  desktop-file-utils appstream man-db
  dpkg-dev file lintian
  qt6-wayland dbus gnome-keyring sway swaybg grim wl-clipboard pipewire libpipewire-0.3-dev wireplumber libwayland-dev wayland-protocols
  xdg-desktop-portal xdg-desktop-portal-wlr xdg-desktop-portal-gtk
  gnome-shell xdg-desktop-portal-gnome gnome-screenshot gnome-settings-daemon dconf-service
  dconf-gsettings-backend libglib2.0-bin
  kwin-wayland xdg-desktop-portal-kde qtwayland5 plasma-workspace plasma-wayland-protocols
  qml-module-org-kde-kirigami2 qml-module-qtquick-controls2 qml-module-qtquick-layouts dbus-x11
)
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
