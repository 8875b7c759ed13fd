#!/usr/bin/env bash
# The Debian package built by CPack: its installed layout, the validity of its desktop entry and
# metainfo, dependencies that bring in the tool, Qt, OpenSSL and a CJK font, and the file
# manager's side: the thumbnailer run as its entry says, and the bundle types it registers.
# Usage: PackageTest.sh BUILD_DIR
set -euo pipefail
build=$1
FRAMEWORK_RES=/usr/share/android-framework-res/framework-res.apk
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
    "./usr/lib/pelmora/pelmora-thumbnailer" \
    "./usr/lib/pelmora/libpelmora_formats.so" \
    "./usr/bin/pelmora-thumbnailer -> ../lib/pelmora/pelmora-thumbnailer" \
    "./usr/share/thumbnailers/org.pelmora.Pelmora.thumbnailer" \
    "./usr/share/mime/packages/org.pelmora.Pelmora.xml" \
    "./usr/share/applications/org.pelmora.Pelmora.desktop" \
    "./usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml" \
    "./usr/share/pixmaps/org.pelmora.Pelmora.png"; do
    grep -qxF "$entry" <<<"$listing" || fail "the package lacks $entry"
done
files=$(grep -cv '/$' <<<"$listing")
[ "$files" -eq 11 ] || fail "the package holds $files files, expected 11: $listing"

[ "$(dpkg-deb -f "$deb" Package)" = pelmora ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = 1.0.0.1 ] || fail "version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in aapt libqt6widgets6 libqt6gui6 libqt6core6 libssl3 libzip4 libelf1 libwebp7 \
    libprotobuf-lite32 android-libandroidfw fonts-wqy-microhei qt6-translations-l10n qt6-image-formats-plugins; do
    grep -qE "(^|, |\| )$needed( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

dpkg-deb -x "$deb" "$work/root"
# The programs start without the Android libraries, protobuf and libelf: only the formats module
# beside them needs those, and it names Debian's folder for the Android libraries.
for program in pelmora pelmora-thumbnailer libpelmora_formats.so; do
    missing=$(ldd "$work/root/usr/lib/pelmora/$program" | grep 'not found' || true)
    [ -z "$missing" ] || fail "the installed $program cannot find: $missing"
done
for program in pelmora pelmora-thumbnailer; do
    needed=$(readelf -d "$work/root/usr/lib/pelmora/$program" | grep NEEDED || true)
    if grep -qE 'androidfw|protobuf|libelf' <<<"$needed"; then
        fail "the installed $program links what only the formats module needs: $needed"
    fi
done
desktop-file-validate "$work/root/usr/share/applications/org.pelmora.Pelmora.desktop"
appstreamcli validate --no-net --pedantic \
    "$work/root/usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml"
# A file manager offers Pelmora for packages through the MIME cache built from the entry.
update-desktop-database "$work/root/usr/share/applications"
for type in application/vnd.android.package-archive application/x-apks application/x-xapk \
    application/x-apkm; do
    grep -qxF "$type=org.pelmora.Pelmora.desktop;" "$work/root/usr/share/applications/mimeinfo.cache" ||
        fail "the MIME cache does not offer Pelmora for $type: $(cat "$work/root/usr/share/applications/mimeinfo.cache")"
done
grep -q 'release version="1.0.0.1"' "$work/root/usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml" ||
    fail "the metainfo does not carry version 1.0.0.1"
file -b "$work/root/usr/share/pixmaps/org.pelmora.Pelmora.png" | grep -q '247 x 247, 8-bit/color RGBA' ||
    fail "the icon is not a 247 x 247 32-bit image"

# The bundle types: the package file builds a MIME database in a scratch data folder, where a
# ZIP named .xapk is then seen as one, as GNOME Files sees it through gio.
data="$work/data"
mkdir -p "$data/mime/packages"
cp "$work/root/usr/share/mime/packages/org.pelmora.Pelmora.xml" "$data/mime/packages/"
XDG_DATA_HOME=$data update-mime-database "$data/mime" 2>"$work/mime-errors"
[ ! -s "$work/mime-errors" ] || fail "update-mime-database: $(cat "$work/mime-errors")"
for extension in apks xapk apkm; do
    cp "$FRAMEWORK_RES" "$work/bundle.$extension"
    type=$(XDG_DATA_HOME=$data XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$work/bundle.$extension")
    [ "$type" = "application/x-$extension" ] || fail "bundle.$extension is $type"
done

# The thumbnailer, found on PATH through TryExec and run with the entry's Exec line, as a file
# manager runs it.
entry="$work/root/usr/share/thumbnailers/org.pelmora.Pelmora.thumbnailer"
key() { sed -n "s/^$1=//p" "$entry"; }
[ "$(sed -n 1p "$entry")" = "[Thumbnailer Entry]" ] || fail "the thumbnailer entry lacks its group"
for type in application/vnd.android.package-archive application/x-apks application/x-xapk \
    application/x-apkm; do
    grep -q "^MimeType=.*$type;" "$entry" || fail "the thumbnailer does not take $type"
done
export PATH="$work/root/usr/bin:$PATH"
[ "$(command -v "$(key TryExec)")" = "$work/root/usr/bin/pelmora-thumbnailer" ] ||
    fail "TryExec does not find the installed thumbnailer"
# The line is split into words first and each code then filled in, as the file manager does.
read -ra words <<<"$(key Exec)"
command=()
for word in "${words[@]}"; do
    word=${word//%s/128}
    word=${word//%i/$FRAMEWORK_RES}
    command+=("${word//%o/$work/thumbnail.png}")
done
"${command[@]}" || fail "the thumbnailer failed: ${command[*]}"
file -b "$work/thumbnail.png" | grep -q '^PNG image data, 128 x 128,' ||
    fail "the thumbnail is $(file -b "$work/thumbnail.png")"

# An adaptive icon, which the tool names only as its XML, is read through the installed formats
# module: the manifest, the resource table and the icon's layers.
app="$work/adaptive"
mkdir -p "$app/res/mipmap-anydpi-v26" "$app/res/values" "$app/res/drawable-xxxhdpi"
cp "$work/root/usr/share/pixmaps/org.pelmora.Pelmora.png" "$app/res/drawable-xxxhdpi/foreground.png"
cat >"$app/AndroidManifest.xml" <<'XML'
<manifest xmlns:android="http://schemas.android.com/apk/res/android" package="org.example.adaptive">
  <application android:icon="@mipmap/ic_launcher"/>
</manifest>
XML
cat >"$app/res/mipmap-anydpi-v26/ic_launcher.xml" <<'XML'
<adaptive-icon xmlns:android="http://schemas.android.com/apk/res/android">
  <background android:drawable="@color/background"/>
  <foreground android:drawable="@drawable/foreground"/>
</adaptive-icon>
XML
echo '<resources><color name="background">#3366FF</color></resources>' >"$app/res/values/colors.xml"
aapt package -f -M "$app/AndroidManifest.xml" -S "$app/res" -I "$FRAMEWORK_RES" -F "$app/adaptive.apk" >/dev/null
pelmora-thumbnailer -s 96 "$app/adaptive.apk" "$work/adaptive.png" 2>"$work/thumbnailer-errors" ||
    fail "no thumbnail of an adaptive icon: $(cat "$work/thumbnailer-errors")"
file -b "$work/adaptive.png" | grep -q '^PNG image data, 96 x 96,' ||
    fail "the adaptive icon's thumbnail is $(file -b "$work/adaptive.png")"
echo "PASS: package, desktop entry, metainfo, MIME types and thumbnailer"
