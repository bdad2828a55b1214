#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when they are missing.
# Usage: tools/install-deps.sh [run|test|bench|package|fuzz|format]
set -euo pipefail

need=(build-essential cmake ninja-build pkg-config ccache
      qt6-base-dev qt6-qpa-plugins libsqlite3-dev zlib1g-dev libcurl4-openssl-dev uuid-dev
      libsodium-dev
      nlohmann-json3-dev
      fonts-dejavu-core)
case "${1:-test}" in
    run) need+=(googletest libgtest-dev python3 qt6-translations-l10n) ;;
    test) need+=(googletest libgtest-dev python3-pyftpdlib python3-openssl python3-cryptography
                 openssl zip unzip sqlite3 libxml2-utils xvfb xdotool x11-utils
                 openbox matchbox-window-manager
                 qt6-translations-l10n dpkg-dev file desktop-file-utils appstream lintian
                 man-db) ;;
    package) need+=(googletest libgtest-dev qt6-translations-l10n dpkg-dev file) ;;
    bench) need+=(googletest libgtest-dev python3-pyftpdlib python3-openssl openssl zip unzip
                  sqlite3 libxml2-utils clang libclang-rt-14-dev valgrind) ;;
    fuzz) need+=(googletest libgtest-dev clang libclang-rt-14-dev zip) ;;
    format) need=(clang-format) ;;
esac

missing=()
for p in "${need[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
