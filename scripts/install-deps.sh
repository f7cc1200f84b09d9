#!/usr/bin/env bash
# Installs what building, running and testing Tessaline needs on Debian 12;
# with --app, only what building and running the app needs.
# Safe to run again: it only calls apt when a package is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build ccache pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins libqt6sql6-sqlite
  libx11-dev libxcb1-dev libxcb-keysyms1-dev libxcb-res0-dev libxcb-shm0-dev
  libxcb-randr0-dev libxcb-composite0-dev libxcb-xfixes0-dev libxcb-xtest0-dev libxkbcommon-dev
  libwayland-dev qt6-base-private-dev libsqlite3-dev zlib1g-dev
  libdeflate-dev libtesseract-dev libleptonica-dev tesseract-ocr-eng
  fonts-dejavu-core breeze-icon-theme
  # under Wayland: Qt's Wayland platform and the desktop's portals
  qt6-wayland xdg-desktop-portal
)
if [[ "${1:-}" != "--app" ]]; then
  packages+=(
    xvfb xauth xdotool xclip x11-utils dbus-daemon openbox trayer sqlite3 strace
    libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
    # the headless Wayland sessions of the tests (scripts/wayland-session.sh):
    # sway with the wlroots screenshot portal, KDE's compositor with its
    # global shortcuts portal, and GNOME Shell headless with its screenshot
    # portal and search providers (its notification server runs on gjs);
    # wl-clipboard reads their clipboards, Xwayland runs the app as an X
    # client of the desktop, opened to the tests by xhost
    dbus-bin libglib2.0-bin procps python3 python3-gi pipewire wl-clipboard xwayland x11-xserver-utils
    sway grim xdg-desktop-portal-wlr xdg-desktop-portal-gtk
    kwin-wayland xdg-desktop-portal-kde qtwayland5
    qml-module-org-kde-kirigami2 qml-module-qtquick-controls2 qml-module-qtquick-layouts
    gnome-shell mutter xdg-desktop-portal-gnome gjs
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
