#!/usr/bin/env bash
# Installs what building, running and testing Quorvant needs on Debian 12, using
# apt-get. Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libqcustomplot-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libmuparser-dev libasmjit-dev
  clang libclang-rt-14-dev
  fonts-liberation2 fonts-dejavu-core
  poppler-utils bc locales dpkg-dev
  libopenmpi-dev openmpi-bin
  slurm-wlm munge
  python3-dev python3-pybind11 python3-numpy python3-matplotlib python3-pytest python3-numexpr
  libflint-arb-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# A comma locale for the tests that prove numbers keep their decimal point.
need_locale=false
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then need_locale=true; fi

[ ${#missing[@]} -eq 0 ] && [ "$need_locale" = false ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
