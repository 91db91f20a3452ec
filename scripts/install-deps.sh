#!/usr/bin/env bash
# Installs what building and testing Tabrix needs on Debian 12. Safe to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
$sudo_cmd apt-get update -qq
$sudo_cmd apt-get install -y -qq --no-install-recommends \
  build-essential g++ cmake ninja-build pkg-config \
  libfmt-dev libgtest-dev googletest libbenchmark-dev libzip-dev libpugixml-dev libsqlite3-dev libxlsxwriter-dev \
  python3 python3-dbf python3-dbfread python3-openpyxl python3-xlrd python3-xlwt \
  qt6-base-dev xvfb xauth \
  postgresql mariadb-server libxml2-utils jq libreoffice-writer-nogui libreoffice-calc-nogui >/dev/null
