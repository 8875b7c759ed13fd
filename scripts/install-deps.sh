#!/usr/bin/env bash
# Installs the Debian 12 packages that Pelmora needs, if missing: to build and run it (run), and
# also to test it (check) or to benchmark it (bench).
# Usage: install-deps.sh run|check|bench
set -euo pipefail

packages=(
    # build
    cmake g++ make pkgconf qt6-base-dev libssl-dev libzip-dev
    # entries' checksums
    libdeflate-dev
    # native libraries' ELF headers; icons written as PNG, and large PNG and WebP icons decoded
    # scaled down
    libelf-dev libpng-dev libwebp-dev
    # bundles and icons: binary XML and resource tables (the library aapt is built on), and
    # bundletool's protobuf index
    android-libandroidfw-dev libprotobuf-dev protobuf-compiler
    # run: the badging tool, a font, Qt's own texts for the Chinese interface, and the image
    # formats that package icons come in (WebP); the platform's own resources and permissions
    aapt fonts-wqy-microhei qt6-translations-l10n qt6-image-formats-plugins android-framework-res
)
case "${1:-}" in
run) ;;
check)
    packages+=(
        # packages are built against the framework; chattr for immutable files; validators for
        # what gets installed
        android-framework-res e2fsprogs desktop-file-utils appstream file dpkg
        # the bundle types' MIME package, checked the way GNOME Files reads it (gio)
        shared-mime-info xdg-utils libglib2.0-bin
        # signed packages to check signatures against, and the Java runtime apksigner needs
        apksigner default-jre-headless zipalign openssl
        # end to end: an X server, a window manager, tools that drag, type and read the
        # clipboard, and the accessibility bus that a screen reader reads message boxes through
        xvfb xauth openbox xdotool xclip x11-utils dbus at-spi2-core python3-pyatspi
        # fuzzing (python3 takes the resource tables out of the packages that seed it); clang
        # with lld also builds the arm64-v8a libraries of the native-library tests
        clang libclang-rt-14-dev lld python3
        # DEX files assembled at test time (smali) and their headers as Android's dexdump reads
        # them
        libsmali-java dexdump
        # the benchmarks are built too, so that they keep building
        libxcb1-dev
        # the report as a Slurm job array, on a one-node cluster the test starts itself
        slurmctld slurmd slurm-client munge
    )
    ;;
bench)
    # the benchmark's package, an X server and X library for the cold start, openssl to compare,
    # and apksigner with its Java runtime to sign the signature benchmark's packages
    packages+=(android-framework-res xvfb xauth libxcb1-dev openssl apksigner default-jre-headless
        # the native-library benchmark builds its libraries for four ABIs
        clang lld)
    ;;
*)
    echo "usage: $0 run|check|bench" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
