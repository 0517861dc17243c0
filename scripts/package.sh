#!/usr/bin/env bash
# Builds the Debian package of the editor (korvane_VERSION_ARCH.deb) and checks it: the files it
# installs under /usr and the libraries it depends on.
#   scripts/package.sh            from a clean tree: a fresh Release build in build-package/
#   scripts/package.sh BUILD_DIR  from a build that is already there (CI packages its test build)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [ $# -eq 0 ]; then
    dir=build-package
    rm -rf "$dir"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_TESTS=OFF \
        -DKORVANE_BUILD_BENCH=OFF -DKORVANE_WERROR="${KORVANE_WERROR:-OFF}"
else
    dir=$1
fi
cmake --build "$dir" --parallel
rm -f "$dir"/korvane_*.deb
(cd "$dir" && cpack -G DEB > /dev/null)
deb=$(ls "$dir"/korvane_*.deb)

# What the package must hold, and the libraries it must depend on.
files=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for file in ./usr/bin/korvane ./usr/bin/korvane-tool ./usr/share/korvane/tiles/demo.pac \
    ./usr/share/korvane/maps/demo.map ./usr/share/applications/org.korvane.Korvane.desktop \
    ./usr/share/metainfo/org.korvane.Korvane.metainfo.xml ./usr/share/mime/packages/korvane.xml \
    ./usr/share/thumbnailers/korvane.thumbnailer ./usr/share/man/man1/korvane.1 \
    ./usr/share/icons/hicolor/scalable/apps/org.korvane.Korvane.svg; do
    grep -qxF "$file" <<< "$files" || { echo "$deb lacks $file" >&2; exit 1; }
done
if grep -v '^\./usr/' <<< "$files" | grep -qv '^\./$'; then
    echo "$deb installs outside /usr:" >&2
    grep -v '^\./usr/' <<< "$files" >&2
    exit 1
fi
depends=$(dpkg-deb --field "$deb" Depends)
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins; do
    grep -q "\b$library\b" <<< "$depends" || { echo "$deb does not depend on $library: $depends" >&2; exit 1; }
done
echo "$deb"
