#!/bin/sh
# Builds the .deb from a build directory and checks what it holds:
#   packaging/check-package.sh BUILD_DIR
# Exit status 77 (a skip for CTest) when the tools it needs are missing.
set -eu
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
for tool in cpack dpkg-deb; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/*.deb)
dpkg-deb --contents "$deb" >"$out/contents"
status=0
for path in ./usr/bin/pivorel \
            ./usr/share/applications/pivorel.desktop \
            ./usr/share/pivorel/pivorel-autostart.desktop \
            ./usr/share/icons/hicolor/scalable/apps/pivorel.svg \
            ./usr/share/icons/hicolor/48x48/apps/pivorel.png \
            ./usr/share/icons/hicolor/256x256/apps/pivorel.png \
            ./usr/share/gnome-shell/extensions/pivorel@morvale.com/extension.js \
            ./usr/share/gnome-shell/extensions/pivorel@morvale.com/metadata.json; do
    grep -q " $path\$" "$out/contents" || { echo "missing from the package: $path"; status=1; }
done
dpkg-deb --field "$deb" Package Version | sed 's/^/control: /'
mime=$(sed -n 's/^MimeType=//p' "$here/pivorel.desktop")
[ "$mime" = "x-scheme-handler/pivorel;x-scheme-handler/brisendo;" ] || {
    echo "unexpected MimeType: $mime"; status=1; }
grep -qx 'Exec=pivorel %u' "$here/pivorel.desktop" || { echo "Exec must be 'pivorel %u'"; status=1; }

if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$here/pivorel.desktop" "$here/pivorel-autostart.desktop" || status=1
else
    echo "note: desktop-file-validate is not installed; the desktop files were not validated"
fi
[ $status -eq 0 ] && echo "package ok: $(basename "$deb")"
exit $status
