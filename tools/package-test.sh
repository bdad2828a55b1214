#!/usr/bin/env bash
# Checks the Debian package that `make package` left in the build folder, as a user would
# meet it: its contents and dependencies, desktop-file-validate, appstreamcli, lintian (no
# error), and then the unpacked programs run by an ordinary user with a home of their own:
# velmorant-cli init and the GUI (offscreen) each create base.sdb under
# $HOME/.local/share/velmorant/data/, never beside the programs; XDG_DATA_HOME and --home
# move it. Usage: tools/package-test.sh [BUILD]
set -euo pipefail
build="${1:-build}"
app_id=org.velmorant.Velmorant

fail() {
    echo "package-test: FAILED: $*" >&2
    exit 1
}
step() { echo "== $*"; }

debs=("$build"/velmorant_*_*.deb)
[ -f "${debs[0]}" ] || fail "no velmorant_<version>_<arch>.deb in $build (run make package)"
[ ${#debs[@]} -eq 1 ] || fail "more than one package in $build: ${debs[*]}"
deb="$(cd "$(dirname "${debs[0]}")" && pwd)/$(basename "${debs[0]}")"
version="$(dpkg-deb -f "$deb" Version)"
arch="$(dpkg-deb -f "$deb" Architecture)"
[ "$(basename "$deb")" = "velmorant_${version}_${arch}.deb" ] || fail "file name $(basename "$deb")"
[ "$arch" = "$(dpkg --print-architecture)" ] || fail "architecture $arch"

work="$(mktemp -d)"
gui_pid=""
cleanup() {
    if [ -n "$gui_pid" ]; then kill "$gui_pid" 2>/dev/null || true; fi
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

step "package $(basename "$deb")"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | sort >"$work/files"
cat "$work/files"
for f in /usr/bin/velmorant /usr/bin/velmorant-cli \
    /usr/share/applications/$app_id.desktop /usr/share/metainfo/$app_id.metainfo.xml \
    /usr/share/man/man1/velmorant-cli.1.gz /usr/share/man/man1/velmorant.1.gz \
    /usr/share/doc/velmorant/copyright /usr/share/doc/velmorant/changelog.gz; do
    grep -qx "$f" "$work/files" || fail "$f is not in the package"
done
for size in 16 32 48 64 128; do
    grep -qx "/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png" "$work/files" ||
        fail "no ${size}x${size} icon"
done
if grep -v -e '^/usr/' -e '^/$' "$work/files"; then fail "files outside /usr"; fi

step "Depends"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "$depends"
# From the libraries the programs link (shlibdeps), and the translations the program loads.
names="$(echo "$depends" | tr ',' '\n' | sed 's/^ *//; s/[ (].*//')"
for p in libqt6widgets6 libqt6gui6 libqt6core6 libqt6network6 libsqlite3-0 libcurl4 zlib1g \
    libuuid1 libsodium23 libc6 libstdc++6 qt6-translations-l10n; do
    echo "$names" | grep -qxF "$p" || fail "Depends lacks $p"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"

step "desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/$app_id.desktop"
grep -qx "Name=Агент продаж" "$root/usr/share/applications/$app_id.desktop" || fail "Name"
grep -qx "Categories=Office;.*" "$root/usr/share/applications/$app_id.desktop" || fail "Categories"

step "appstreamcli validate --no-net"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml"

step "icons"
for size in 16 32 48 64 128; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
    info="$(file -b "$png")"
    echo "$size: $info"
    echo "$info" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" ||
        fail "${size}px icon is not a ${size}x${size} picture with alpha"
done

step "manual pages"
for page in velmorant velmorant-cli; do
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
        "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "man $page: $warnings"
done
zcat "$root/usr/share/man/man1/velmorant-cli.1.gz" | grep -q '^\.SH COMMANDS' || fail "man page"

step "lintian"
# lintian complains about running as root; that is not about the package.
status=0
lintian --display-info --tag-display-limit 0 "$deb" >"$work/lintian.out" 2>&1 || status=$?
grep -v 'running with root privileges' "$work/lintian.out" | tee "$work/lintian" || true
# 0: clean, 1: errors found (reported below), anything else: lintian did not run.
[ "$status" -le 1 ] || fail "lintian ended with $status"
if grep -q '^E: ' "$work/lintian"; then fail "lintian reports errors"; fi

step "the unpacked programs, run by an ordinary user"
# Nothing of the package may be written to, whoever runs it: an ordinary user cannot, and
# root (CI) runs the programs as nobody.
chmod -R a-w "$root"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
    owner=nobody
else
    owner="$(id -un)"
fi
new_home() {
    local h
    h="$(mktemp -d -p "$work")"
    chmod 700 "$h"
    if [ "$(id -u)" -eq 0 ]; then chown "$owner" "$h"; fi
    echo "$h"
}
run_as_user() {
    local home="$1"
    shift
    env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 XDG_RUNTIME_DIR="$home" \
        "${as_user[@]}" "$@"
}

home="$(new_home)"
run_as_user "$home" "$root/usr/bin/velmorant-cli" init ||
    fail "velmorant-cli init ended with $?"
[ -f "$home/.local/share/velmorant/data/base.sdb" ] ||
    fail "velmorant-cli init: no base.sdb under \$HOME/.local/share/velmorant/data/"
[ "$(stat -c %a "$home/.local/share/velmorant")" = 700 ] || fail "data folder not private"
tables="$(sqlite3 "$home/.local/share/velmorant/data/base.sdb" \
    "select count(*) from sqlite_master where type='table'")"
[ "$tables" = 9 ] || fail "base.sdb holds $tables tables"
run_as_user "$home" "$root/usr/bin/velmorant-cli" option Missing "по умолчанию" |
    grep -qx "по умолчанию" || fail "velmorant-cli option on the user's database"
echo "velmorant-cli init: $home/.local/share/velmorant/data/base.sdb"

xdg="$(new_home)"
env -i PATH=/usr/bin:/bin HOME="$xdg" XDG_DATA_HOME="$xdg/data-home" "${as_user[@]}" \
    "$root/usr/bin/velmorant-cli" init
[ -f "$xdg/data-home/velmorant/data/base.sdb" ] || fail "XDG_DATA_HOME is not followed"
[ ! -e "$xdg/.local" ] || fail "XDG_DATA_HOME set, yet ~/.local was used"

named="$(new_home)"
run_as_user "$named" "$root/usr/bin/velmorant-cli" --home "$named/agent" init
[ -f "$named/agent/data/base.sdb" ] || fail "--home is not followed"
[ ! -e "$named/.local" ] || fail "--home given, yet ~/.local was used"

gui_home="$(new_home)"
# Started without a function or subshell around it, so that $! is the program itself.
env -i PATH=/usr/bin:/bin HOME="$gui_home" LANG=C.UTF-8 XDG_RUNTIME_DIR="$gui_home" \
    QT_QPA_PLATFORM=offscreen "${as_user[@]}" "$root/usr/bin/velmorant" >"$work/gui.log" 2>&1 &
gui_pid=$!
for _ in $(seq 1 150); do
    [ -f "$gui_home/.local/share/velmorant/data/base.sdb" ] && break
    kill -0 "$gui_pid" 2>/dev/null || break
    sleep 0.2
done
[ -f "$gui_home/.local/share/velmorant/data/base.sdb" ] ||
    { cat "$work/gui.log"; fail "the GUI made no base.sdb under \$HOME/.local/share/velmorant/data/"; }
sleep 1
kill -0 "$gui_pid" 2>/dev/null || { cat "$work/gui.log"; fail "the GUI did not keep running"; }
kill "$gui_pid"
wait "$gui_pid" 2>/dev/null || true
gui_pid=""
if pgrep -f "^$root/usr/bin/velmorant" >/dev/null; then fail "the GUI outlived its kill"; fi
if grep -qi "translation\|qtbase_ru" "$work/gui.log"; then cat "$work/gui.log"; fi
echo "velmorant (offscreen): $gui_home/.local/share/velmorant/data/base.sdb"

if find "$root" -name data -o -name exchange -o -name '*.sdb' | grep .; then
    fail "something was written beside the unpacked programs"
fi
echo "package-test: passed"
