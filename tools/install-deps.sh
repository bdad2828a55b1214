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
                 man-db
                 libcap2 libpam0g libwrap0 libsodium23 libhiredis0.14 libmemcached11
                 libmemcachedutil2 libpcre2-posix3 libacl1
                 libnss-wrapper libpam-wrapper) ;;
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

# The FTP servers the tests start (vsftpd, proftpd with mod_tls, pure-ftpd) conflict with one
# another as packages, and installing one would start a system service on port 21. So their
# packages are only unpacked, one folder each, under $servers; the libraries they need are
# installed above. The system users they look up and vsftpd's PAM login come from files the
# tests write, through libnss-wrapper and libpam-wrapper: nothing under /etc is changed.
servers=/opt/velmorant-ftp-servers
server_packages=()
if [ "${1:-test}" = test ]; then
    [ -x $servers/vsftpd/usr/sbin/vsftpd ] || server_packages+=(vsftpd:vsftpd)
    [ -f $servers/proftpd/usr/lib/proftpd/mod_tls.so ] ||
        server_packages+=(proftpd:proftpd-core proftpd:proftpd-mod-crypto)
    [ -x $servers/pure-ftpd/usr/bin/pure-pw ] ||
        server_packages+=(pure-ftpd:pure-ftpd pure-ftpd:pure-ftpd-common)
fi
[ ${#missing[@]} -eq 0 ] && [ ${#server_packages[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi
if [ ${#server_packages[@]} -gt 0 ]; then
    echo "Unpacking into $servers: ${server_packages[*]}"
    work=$(mktemp -d)
    chmod 755 "$work"
    for entry in "${server_packages[@]}"; do
        folder=${entry%%:*}
        package=${entry#*:}
        (cd "$work" && apt-get download -qq "$package")
        $SUDO mkdir -p "$servers/$folder"
        $SUDO dpkg-deb -x "$work/${package}"_*.deb "$servers/$folder"
    done
    rm -rf "$work"
fi
