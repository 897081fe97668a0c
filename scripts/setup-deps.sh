#!/usr/bin/env bash
# Installs the Debian packages the program, its tests and its benchmark need.
# Idempotent: does nothing (and needs no network) when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-svg-dev
  libqt6svg6 qt6-qpa-plugins libgl-dev
  fonts-dejavu-core fonts-liberation2
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-apps imagemagick poppler-utils
  clang-14 libfuzzer-14-dev
  cups printer-driver-cups-pdf
  locales strace
  # the service: sd_notify for Type=notify, and systemd-analyze to check the unit
  libsystemd-dev systemd
  # publishing to an MQTT broker: the client library, and the broker and
  # clients the tests run against
  libmosquitto-dev mosquitto mosquitto-clients
  # the exports read back by programs this project did not write: Python's
  # csv and json modules, and LibreOffice Calc without a window
  python3 libreoffice-calc-nogui
  # checks of the installed tree (desktop entry, file type, manual pages) and packaging
  desktop-file-utils libxml2-utils shared-mime-info xdg-utils libfile-mimeinfo-perl man-db dpkg-dev
  # the AppStream metainfo's validator and the shell completion's loader
  appstream bash-completion
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A comma-decimal locale, so the tests can show that numbers in texts are
# read the same whatever the user's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "Generating the de_DE.UTF-8 locale"
  $SUDO sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
