#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under /usr and checks what an installed editor
# needs: every file in its place, korvane-tool finding the installed demo pack through
# XDG_DATA_DIRS for a map far from any tiles/ folder, the thumbnailer's render, and the
# desktop entry, AppStream metainfo and MIME file passing their validators (each skipped, with
# a note, when its validator is not installed).
#   check_install.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$root/dest" cmake --install "$build" --prefix /usr > /dev/null
usr="$root/dest/usr"
for file in bin/korvane bin/korvane-tool \
    share/korvane/tiles/demo.pac share/korvane/maps/demo.map share/korvane/png/grass.png \
    share/applications/org.korvane.Korvane.desktop \
    share/metainfo/org.korvane.Korvane.metainfo.xml \
    share/mime/packages/korvane.xml share/thumbnailers/korvane.thumbnailer \
    share/man/man1/korvane.1 share/man/man1/korvane-tool.1 \
    share/icons/hicolor/scalable/apps/org.korvane.Korvane.svg; do
    [ -f "$usr/$file" ] || fail "not installed: /usr/$file"
done
if ls "$usr"/share/icons/hicolor/256x256/apps/*.png > /dev/null 2>&1; then
    for size in 16 22 24 32 48 64 128 256; do
        [ -f "$usr/share/icons/hicolor/${size}x${size}/apps/org.korvane.Korvane.png" ] ||
            fail "no ${size}x${size} icon"
    done
else
    echo "note: no PNG icons (built without Qt Svg)"
fi

# A map copied away from every tiles/ folder finds the demo pack in the installed data folder,
# and only there.
mkdir -p "$root/away/maps" "$root/home"
cp "$usr/share/korvane/maps/demo.map" "$root/away/maps/"
run_tool() {
    env -i PATH=/usr/bin:/bin HOME="$root/home" XDG_DATA_HOME="$root/home/data" \
        XDG_DATA_DIRS="$1" "$usr/bin/korvane-tool" "${@:2}"
}
out=$(run_tool "$usr/share" check "$root/away/maps/demo.map") || fail "check: $out"
grep -qF "tile pack: $usr/share/korvane/tiles/demo.pac:" <<< "$out" || fail "check used: $out"
out=$(run_tool "$root/nowhere" check "$root/away/maps/demo.map") && fail "found without data: $out"
grep -qF "$root/nowhere/korvane/tiles" <<< "$out" || fail "folders not named: $out"

# The thumbnailer's command, as a file manager runs it.
exec_line=$(sed -n 's/^Exec=//p' "$usr/share/thumbnailers/korvane.thumbnailer")
exec_line=${exec_line//%i/$root/away/maps/demo.map}
exec_line=${exec_line//%o/$root/thumb.png}
exec_line=${exec_line//%s/128}
# shellcheck disable=SC2086
run_tool "$usr/share" ${exec_line#korvane-tool } > /dev/null || fail "thumbnailer: $exec_line"
[ -s "$root/thumb.png" ] || fail "no thumbnail"

out=$(env QT_QPA_PLATFORM=offscreen "$usr/bin/korvane" --version) || fail "korvane --version"
[[ $out == korvane\ * ]] || fail "korvane --version: $out"

if command -v desktop-file-validate > /dev/null; then
    desktop-file-validate "$usr/share/applications/org.korvane.Korvane.desktop"
else
    echo "note: desktop-file-validate not installed; skipped"
fi
if command -v appstreamcli > /dev/null; then
    appstreamcli validate --no-net --pedantic "$usr/share/metainfo/org.korvane.Korvane.metainfo.xml"
else
    echo "note: appstreamcli not installed; skipped"
fi
if command -v xmllint > /dev/null; then
    xmllint --noout "$usr/share/mime/packages/korvane.xml"
else
    echo "note: xmllint not installed; skipped"
fi
if command -v update-mime-database > /dev/null; then
    # The MIME database built from the file alone, and a map known by its type.
    mkdir -p "$root/mime/packages"
    cp "$usr/share/mime/packages/korvane.xml" "$root/mime/packages/"
    update-mime-database "$root/mime" > /dev/null 2>&1
    grep -q "application/x-korvane-map:\*.map" "$root/mime/globs" || fail "no *.map glob"
fi
echo "install checked"
