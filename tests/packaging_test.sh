#!/usr/bin/env bash
# Builds the Debian package from this build folder and checks what it holds and needs, then
# unpacks it into a scratch root, so packaging cannot silently rot.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$build"
cpack -G DEB -B "$scratch/out" >/dev/null
deb=$(ls "$scratch"/out/velomar_*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/velomar ./usr/bin/velomar-cli ./usr/bin/tervane-emu \
         ./usr/share/man/man1/velomar-cli.1.gz ./usr/share/bash-completion/completions/velomar-cli ./usr/share/applications/velomar.desktop \
         ./usr/share/icons/hicolor/scalable/apps/velomar.svg \
         ./usr/share/icons/hicolor/48x48/apps/velomar.png ./usr/share/icons/hicolor/256x256/apps/velomar.png; do
    grep -q " $f\$" <<<"$contents" || { echo "missing from the package: $f"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6network6 libqt6gui6 libqt6core6; do
    grep -q "$lib" <<<"$depends" || { echo "Depends lacks $lib: $depends"; exit 1; }
done
dpkg-deb -x "$deb" "$scratch/root"
test -x "$scratch/root/usr/bin/velomar"
grep -q '^Exec=velomar$' "$scratch/root/usr/share/applications/velomar.desktop"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$scratch/root/usr/share/applications/velomar.desktop"
fi
"$scratch/root/usr/bin/tervane-emu" --help >/dev/null
# velomar-cli needs neither Widgets nor Gui.
if ldd "$scratch/root/usr/bin/velomar-cli" | grep -Eq "libQt6(Widgets|Gui)"; then
    echo "velomar-cli links Qt Widgets or Gui"; exit 1
fi
echo "package ok: $(basename "$deb")"
