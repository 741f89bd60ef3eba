#!/usr/bin/env bash
# Renders the application icon in the hicolor sizes into launcher/resources/desktop/icons/ from the
# launcher's logo tile (launcher/resources/images/launcher/LauncherLogo_QT.png). The large sizes
# show the whole tile; below 64 pixels its text can't be read, so the small sizes show only the
# shield with the initial, cut out along its outline. The PNGs are committed: run this again after
# changing the tile, look at the results and commit them with it.
set -euo pipefail
cd "$(dirname "$0")/../.."
tile=launcher/resources/images/launcher/LauncherLogo_QT.png
out=launcher/resources/desktop/icons/hicolor
name=de.brelmor.QuenmarLauncher
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The shield's outline on the 176-pixel tile, with the width of its gold rim.
shield="M 63,19 L 113,19 L 113,49 C 113,70 100,80 88,86 C 76,80 63,70 63,49 Z"
convert "$tile" \( -size 176x176 xc:none -fill white -stroke white -strokewidth 3 -draw "path '$shield'" \) \
    -compose DstIn -composite -crop 56x72+60+17 +repage \
    -compose Over -background none -gravity center -extent 72x72 "$work/shield.png"

# save <input> <output>: an 8-bit RGBA PNG without metadata, so that renders compare equal.
save() {
    mkdir -p "$(dirname "$2")"
    convert "$1" -depth 8 -strip -define png:exclude-chunks=date,time "PNG32:$2"
}

for size in 16 24 32 48 64 128 256; do
    source=$tile
    if [ "$size" -lt 64 ]; then
        source=$work/shield.png
    fi
    convert "$source" -background none -gravity center -filter Lanczos -resize "${size}x${size}" \
        -extent "${size}x${size}" "$work/icon.png"
    save "$work/icon.png" "$out/${size}x${size}/apps/$name.png"
done
echo "rendered into $out"
