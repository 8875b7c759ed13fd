#!/usr/bin/env bash
# The Debian package built by CPack: its installed layout, the validity of its desktop entry and
# metainfo, and dependencies that bring in the tool, Qt, OpenSSL and a CJK font.
# Usage: PackageTest.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb=$(echo "$work"/out/*.deb)
fail() { echo "FAIL: $*"; exit 1; }

listing=$(dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }')
for entry in \
    "./usr/lib/pelmora/pelmora" \
    "./usr/lib/pelmora/aapt -> /usr/bin/aapt" \
    "./usr/bin/pelmora -> ../lib/pelmora/pelmora" \
    "./usr/share/applications/org.pelmora.Pelmora.desktop" \
    "./usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml" \
    "./usr/share/pixmaps/org.pelmora.Pelmora.png"; do
    grep -qxF "$entry" <<<"$listing" || fail "the package lacks $entry"
done
files=$(grep -cv '/$' <<<"$listing")
[ "$files" -eq 6 ] || fail "the package holds $files files, expected 6: $listing"

[ "$(dpkg-deb -f "$deb" Package)" = pelmora ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = 1.0.0.1 ] || fail "version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in aapt libqt6widgets6 libqt6gui6 libqt6core6 libssl3 libzip4 libprotobuf-lite32 \
    android-libandroidfw fonts-wqy-microhei qt6-translations-l10n qt6-image-formats-plugins; do
    grep -qE "(^|, |\| )$needed( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

dpkg-deb -x "$deb" "$work/root"
# libandroidfw lives in Debian's folder for the Android libraries, which the program must name.
missing=$(ldd "$work/root/usr/lib/pelmora/pelmora" | grep 'not found' || true)
[ -z "$missing" ] || fail "the installed program cannot find: $missing"
desktop-file-validate "$work/root/usr/share/applications/org.pelmora.Pelmora.desktop"
appstreamcli validate --no-net --pedantic \
    "$work/root/usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml"
# A file manager offers Pelmora for packages through the MIME cache built from the entry.
update-desktop-database "$work/root/usr/share/applications"
grep -qxF 'application/vnd.android.package-archive=org.pelmora.Pelmora.desktop;' \
    "$work/root/usr/share/applications/mimeinfo.cache" ||
    fail "the MIME cache does not offer Pelmora for packages: $(cat "$work/root/usr/share/applications/mimeinfo.cache")"
grep -q 'release version="1.0.0.1"' "$work/root/usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml" ||
    fail "the metainfo does not carry version 1.0.0.1"
file -b "$work/root/usr/share/pixmaps/org.pelmora.Pelmora.png" | grep -q '247 x 247, 8-bit/color RGBA' ||
    fail "the icon is not a 247 x 247 32-bit image"
echo "PASS: package, desktop entry and metainfo"
