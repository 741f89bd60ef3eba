#!/usr/bin/env bash
# Renders the launcher's artwork into launcher/resources/images/launcher/ with ImageMagick.
# The generated PNG files are committed; run this again after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=launcher/resources/images/launcher
mkdir -p "$out"
font_bold=$(fc-match -f '%{file}' 'Liberation Sans:bold')

text_colour='#DADABC'
night='#14161c'
dusk='#2a2f3d'

# Splash logo: a crest with the game's name, on a dusk gradient.
convert -size 480x270 gradient:"$dusk"-"$night" \
    \( -size 480x270 xc:none -fill none -stroke "$text_colour" -strokewidth 3 \
        -draw "polygon 240,28 292,58 292,118 240,150 188,118 188,58" \
        -stroke '#c98f2a' -strokewidth 2 -draw "line 240,46 240,132" -draw "line 206,88 274,88" \) \
    -composite \
    -stroke none -font "$font_bold" -fill "$text_colour" -pointsize 34 -gravity north -annotate +0+170 'QUENMAR ONLINE' \
    -fill '#9a9a84' -pointsize 15 -annotate +0+214 'LAUNCHER' \
    -bordercolor '#c98f2a' -border 2 \
    "$out/LauncherLogo_QT.png"
echo "rendered into $out"
