#!/usr/bin/env bash
# Renders the launcher's artwork into launcher/resources/images/launcher/ with ImageMagick.
# The generated files are committed; run this again after changing a drawing, then check the
# pictures and commit them together with this script. Output is reproducible: no random
# sources, no time stamps in the files.
#
# Shapes are drawn at two or four times their size and scaled down, which gives clean
# anti-aliased edges and one-pixel lines. Texts use Liberation Sans bold in small caps, like the window's
# style sheets.
set -euo pipefail
cd "$(dirname "$0")/../.."
if ! grep -q '^ *PANGO' <<<"$(convert -list format)"; then
    echo "ImageMagick lacks its Pango text reader (Debian package libmagickcore-6.q16-6-extra)" >&2
    exit 1
fi
out=launcher/resources/images/launcher
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Palette: the window's text colour, night blues and charcoal, warm gold accents.
text_colour='#DADABC'
ink='#f8f2dc'
night='#0b0f1a'
gold='#c98f2a'
gold_light='#f0d590'
gold_dark='#7a5318'
shadow='#05070c'

# save <input> <output>: an 8-bit RGBA PNG without metadata, so that renders compare equal.
save() {
    convert "$1" -depth 8 -strip -define png:exclude-chunks=date,time "PNG32:$2"
}

# caps <output> <pixel size> <colour> <text> [letter spacing in 1/1024 px]
# A line of bold small-caps text, trimmed to its ink. ImageMagick's Pango reader aborts now and
# then (about one run in a hundred), so a failed run is repeated.
caps() {
    local markup="<span font_family='Liberation Sans' weight='bold' font_variant='small-caps' foreground='$3' size='$(($2 * 1024))' letter_spacing='${5:-0}'>$4</span>"
    local attempt
    for attempt in 1 2 3 4 5; do
        if { (convert -density 72 -background none pango:"$markup" -trim +repage "$1"); } 2>/dev/null; then
            return 0
        fi
    done
    echo "could not render the text '$4'" >&2
    return 1
}

# shadowed <input> <output>: a soft dark drop shadow under the input's ink, for text on colour.
shadowed() {
    convert "$1" -bordercolor none -border 2 \( +clone -background black -shadow 85x1+0+1 \) +swap \
        -background none -layers merge +repage "$2"
}

# stars <count> <width> <height> <seed>: a deterministic list of "x y size brightness" lines
# (Park-Miller generator, the same on every awk).
stars() {
    awk -v n="$1" -v w="$2" -v h="$3" -v seed="$4" 'function rnd() { seed = (seed * 16807) % 2147483647; return seed / 2147483647 }
        BEGIN { for (i = 0; i < n; i++) { x = rnd() * w; y = rnd() * rnd() * h; s = 0.3 + rnd() * rnd() * 1.4; b = 0.25 + rnd() * 0.75
            printf "%.1f %.1f %.2f %.2f\n", x, y, s, b } }'
}

# star_draw <stars list>: MVG circles for the stars, brightness as opacity.
star_draw() {
    awk '{ printf "fill rgba(236,232,210,%.2f) circle %.1f,%.1f %.1f,%.1f ", $4, $1, $2, $1 + $3, $2 }' "$1"
}

# ridge <seed> <base y> <height> <roughness 0..1> <bottom y>: a mountain polygon 1600 wide from
# midpoint displacement (129 points along the ridge), closed along the bottom.
ridge() {
    awk -v seed="$1" -v base="$2" -v height="$3" -v rough="$4" -v bottom="$5" '
        function rnd() { seed = (seed * 16807) % 2147483647; return seed / 2147483647 }
        BEGIN {
            n = 128; y[0] = base - rnd() * height; y[n] = base - rnd() * height; amp = height
            for (step = n; step > 1; step /= 2) {
                for (i = step / 2; i < n; i += step) y[i] = (y[i - step / 2] + y[i + step / 2]) / 2 + (rnd() - 0.5) * amp
                amp *= rough
            }
            for (i = 0; i <= n; i++) printf "%.1f,%.1f ", i * 1600 / n, y[i]
            printf "1600,%d 0,%d", bottom, bottom
        }'
}

###############################################################################################
# Buttons: four colour families, each with idle, hover, pressed and disabled states, 98 x 40.
# A dark outline, a gold rim lit from above, and a glossy body; pressed turns the light round.
button() { # <family> <top colour> <bottom colour> <state>
    local family=$1 top=$2 bottom=$3 state=$4
    local s=4 w=392 h=160 r=24 rim_top=$gold_light rim_bottom='#7a4e14' gloss=0.30
    case $state in
    hover) rim_top='#fff0b8' rim_bottom='#a8782a' gloss=0.40 ;;
    pressed)
        rim_top='#8a6020' rim_bottom='#d8b060' gloss=0.10
        local swap=$top
        top=$bottom bottom=$swap
        ;;
    esac
    local o=$s i=$((s * 5 / 2))
    local bw=$((w - 2 * i)) bh=$((h - 2 * i)) br=$((r - i))
    convert -size ${w}x${h} xc:none \
        \( -size ${w}x${h} gradient:"$rim_top"-"$rim_bottom" \
        \( -size ${w}x${h} xc:black -fill white -draw "roundrectangle $o,$o $((w - 1 - o)),$((h - 1 - o)) $((r - o)),$((r - o))" \) \
        -alpha off -compose CopyOpacity -composite \) -compose Over -composite \
        \( -size ${bw}x${bh} gradient:"$top"-"$bottom" \
        \( -size ${bw}x$((h / 2 - i)) gradient:"rgba(255,255,255,$gloss)"-"rgba(255,255,255,0.02)" \) -gravity north -composite \
        \( -size ${bw}x${bh} xc:none -fill none -stroke 'rgba(0,0,0,0.45)' -strokewidth $((s * 2)) \
        -draw "roundrectangle 0,0 $((bw - 1)),$((bh - 1)) $br,$br" -blur 0x$((s * 2)) \) -composite \
        \( -size ${bw}x${bh} xc:black -fill white -draw "roundrectangle 0,0 $((bw - 1)),$((bh - 1)) $br,$br" \) \
        -alpha off -compose CopyOpacity -composite \) -gravity center -compose Over -composite \
        -fill none -stroke "$shadow" -strokewidth $s -draw "roundrectangle 2,2 $((w - 3)),$((h - 3)) $r,$r" \
        -resize 25% "$work/button.png"
    save "$work/button.png" "$out/Button_${family}_${state}.png"
}

button_family() { # <family> <idle top> <idle bottom> <hover top> <hover bottom>
    button "$1" "$2" "$3" idle
    button "$1" "$4" "$5" hover
    button "$1" "$2" "$3" pressed
    convert "$out/Button_$1_idle.png" -modulate 62,18 "$work/disabled.png"
    save "$work/disabled.png" "$out/Button_$1_disabled.png"
}

button_family Green '#5fae38' '#22581a' '#79ca4c' '#2f7322'
button_family Blue '#3d7fcc' '#163668' '#5597e4' '#1f4a88'
button_family Orange '#e8922e' '#8e440c' '#f8aa48' '#a85814'
button_family Red '#c63a32' '#641210' '#de5248' '#801c18'

###############################################################################################
# Button icons: a glyph and the caption, drawn in the contents area of the button (at most 90 x 32).
button_icon() { # <caption> <glyph image>
    caps "$work/caption.png" 13 "$ink" "$1"
    convert -background none "$2" \( -size 3x1 xc:none \) "$work/caption.png" -gravity center +append +repage \
        -bordercolor none -border 1x2 "$work/icon.png"
    shadowed "$work/icon.png" "$work/icon-shadowed.png"
    save "$work/icon-shadowed.png" "$out/Icon_$1.png"
}

convert -size 64x64 xc:none -fill "$ink" -draw "polygon 16,8 56,32 16,56" -resize 25% "$work/glyph-play.png"
convert -size 64x64 xc:none -fill "$ink" \
    -draw "polygon 25,6 39,6 39,28 52,28 32,48 12,28 25,28" -draw "rectangle 8,52 56,60" \
    -resize 25% "$work/glyph-download.png"
# A ring with its upper-left quarter cut away and an arrowhead on the cut: "go round again".
convert -size 64x64 xc:none -fill none -stroke "$ink" -strokewidth 8.4 -draw "circle 32,32 52,32" \
    \( -size 64x64 xc:none -fill black -draw "polygon 32,32 40,-10 -10,-10 -10,33" \) -compose DstOut -composite \
    -compose Over -fill "$ink" -stroke none -draw "polygon 0,35 24,35 12,17" -resize 25% "$work/glyph-update.png"

button_icon Play "$work/glyph-play.png"
button_icon Download "$work/glyph-download.png"
button_icon Update "$work/glyph-update.png"

###############################################################################################
# Progress bar: a dark inset track and a bronze fill of the button's size. Both are uniform
# along the bar so that any horizontal stretch keeps them intact.
convert -size 392x160 xc:none \
    \( -size 392x160 gradient:'#06080e'-'#171c28' \
    \( -size 392x160 xc:black -fill white -draw "roundrectangle 4,4 387,155 22,22" \) -alpha off -compose CopyOpacity -composite \) \
    -compose Over -composite \
    -fill none -stroke "$gold_dark" -strokewidth 4 -draw "roundrectangle 6,6 385,153 20,20" \
    -stroke 'rgba(0,0,0,0.6)' -strokewidth 6 -draw "line 14,14 377,14" \
    -resize 25% "$work/progress-bg.png"
save "$work/progress-bg.png" "$out/ProgressBar_BG.png"

convert -size 392x160 xc:none \
    \( -size 392x160 gradient:'#c08a34'-'#5a3a0e' \
    \( -size 392x64 gradient:'rgba(255,240,200,0.35)'-'rgba(255,240,200,0)' \) -gravity north -geometry +0+8 -composite \
    \( -size 392x160 xc:black -fill white -draw "roundrectangle 8,8 383,151 8,8" \) -alpha off -compose CopyOpacity -composite \) \
    -gravity center -compose Over -composite \
    -fill none -stroke "$gold_light" -strokewidth 3 -draw "line 14,11 377,11" \
    -resize 25% "$work/progress.png"
save "$work/progress.png" "$out/ProgressBar.png"

###############################################################################################
# "Default Client" check box indicators, 16 x 16.
checkbox_base() { # <output>
    convert -size 64x64 xc:none \
        -fill "$shadow" -draw "roundrectangle 2,2 61,61 10,10" \
        \( -size 52x52 gradient:'#06080e'-'#1d2332' \) -gravity center -compose Over -composite \
        -fill none -stroke "$gold" -strokewidth 4 -draw "roundrectangle 6,6 57,57 8,8" \
        "$1"
}
checkbox_base "$work/checkbox.png"
convert "$work/checkbox.png" -resize 25% "$work/checkbox-unchecked.png"
save "$work/checkbox-unchecked.png" "$out/checkbox-unchecked.png"
convert "$work/checkbox.png" -fill none -stroke "$shadow" -strokewidth 12 -draw "polyline 16,33 27,45 49,18" \
    -stroke "$gold_light" -strokewidth 7 -draw "polyline 16,33 27,45 49,18" \
    -resize 25% "$work/checkbox-checked.png"
save "$work/checkbox-checked.png" "$out/checkbox-checked.png"

###############################################################################################
# Framed panels. The item's frame is cut 16 16 16 16 and its edges repeat; the hints box is cut
# 5 5 0 5 (open at the bottom). Edges are uniform along their run, ornaments sit in corners.
convert -size 192x192 xc:none \
    -fill 'rgba(9,12,21,0.86)' -stroke "$shadow" -strokewidth 4 -draw "roundrectangle 2,2 189,189 28,28" \
    -fill none -stroke "$gold_dark" -strokewidth 4 -draw "roundrectangle 8,8 183,183 22,22" \
    -stroke 'rgba(240,213,144,0.55)' -strokewidth 2 -draw "roundrectangle 12,12 179,179 18,18" \
    -fill "$gold" -stroke "$shadow" -strokewidth 2 \
    -draw "polygon 8,20 20,8 32,20 20,32" -draw "polygon 172,8 184,20 172,32 160,20" \
    -draw "polygon 8,172 20,160 32,172 20,184" -draw "polygon 172,160 184,172 172,184 160,172" \
    -resize 25% "$work/clientpackage-background.png"
save "$work/clientpackage-background.png" "$out/clientpackage-background.png"

convert -size 128x128 xc:none \
    -fill 'rgba(8,10,18,0.80)' -stroke none -draw "roundrectangle 0,0 127,160 14,14" \
    -fill none -stroke "$shadow" -strokewidth 4 -draw "roundrectangle 2,2 125,160 14,14" \
    -stroke "$gold" -strokewidth 4 -draw "roundrectangle 6,6 121,160 10,10" \
    -stroke 'rgba(240,213,144,0.35)' -strokewidth 2 -draw "roundrectangle 10,10 117,160 7,7" \
    -resize 25% "$work/hint-background.png"
save "$work/hint-background.png" "$out/hint-background.png"

###############################################################################################
# Scroll bar of the hint texts, 12 pixels wide: a groove, a bronze handle cut 6 6 6 6 (its
# middle stretches, so it carries no grip lines), and arrow buttons in two states.
convert -size 48x128 xc:'rgba(5,7,12,0.55)' \
    -fill 'rgba(42,47,61,0.9)' -draw "rectangle 20,0 27,127" \
    -fill 'rgba(0,0,0,0.7)' -draw "rectangle 18,0 19,127" \
    -resize 25% "$work/scrollbar-track.png"
save "$work/scrollbar-track.png" "$out/scrollbar-texture-vertical.png"

convert -size 48x96 xc:none \
    \( -size 40x88 gradient:'#e0b460'-'#8a5e1a' -rotate 90 -resize 40x88\! \
    \( -size 40x88 xc:black -fill white -draw "roundrectangle 0,0 39,87 18,18" \) -alpha off -compose CopyOpacity -composite \) \
    -gravity center -compose Over -composite \
    -fill none -stroke "$shadow" -strokewidth 3 -draw "roundrectangle 4,4 43,91 18,18" \
    -resize 25% "$work/scrollbar-handle.png"
save "$work/scrollbar-handle.png" "$out/scrollbar-handle-vertical.png"

scroll_arrow() { # <output name> <pressed 0|1> <points of the arrowhead on a 48 x 48 grid>
    local base='#141a28' arrow=$gold
    if [ "$2" = 1 ]; then
        base='#05070c' arrow=$gold_light
    fi
    convert -size 48x48 xc:none -fill "$base" -stroke "$shadow" -strokewidth 3 -draw "roundrectangle 2,2 45,45 8,8" \
        -fill "$arrow" -stroke none -draw "polygon $3" -resize 25% "$work/arrow.png"
    save "$work/arrow.png" "$out/$1.png"
}
scroll_arrow scrollbar-buttonup-up 0 "12,30 24,15 36,30"
scroll_arrow scrollbar-buttonup-down 1 "12,31 24,16 36,31"
scroll_arrow scrollbar-buttondown-up 0 "12,18 24,33 36,18"
scroll_arrow scrollbar-buttondown-down 1 "12,19 24,34 36,19"

###############################################################################################
# Link icons of the hints box: About, and two round social badges of one size.
convert -size 80x80 xc:none -fill 'rgba(11,15,26,0.85)' -stroke "$gold" -strokewidth 6 -draw "circle 40,40 40,5" \
    -fill "$text_colour" -stroke none -draw "circle 40,23 40,17" -draw "roundrectangle 34,33 46,62 3,3" \
    -resize 25% "$work/icircle.png"
save "$work/icircle.png" "$out/icircle.png"

badge() { # <output> <draw arguments of the glyph on a 96 x 96 grid ...>
    local output=$1
    shift
    convert -size 96x96 xc:none -fill 'rgba(11,15,26,0.9)' -stroke "$gold" -strokewidth 5 -draw "circle 48,48 48,4" \
        -fill "$text_colour" -stroke none "$@" -resize 25% "$work/badge.png"
    save "$work/badge.png" "$out/$output.png"
}
# A small bird in flight.
badge Twitter -draw "translate 4,6 scale 3.66,3.66 path 'M 5,16 C 8,18 13,18.5 16,15.5 C 18,13.5 18.6,11 18.5,9 L 20.3,7.4 L 18.2,7.9 C 17.6,7 16.6,6.5 15.5,6.5 C 13.6,6.5 12.2,8.1 12.5,10 C 10,9.9 7.7,8.7 6.3,6.9 C 5.6,8.3 6,10 7.2,10.9 C 6.6,10.9 6.2,10.7 5.8,10.5 C 5.9,12 7,13.2 8.3,13.5 C 7.8,13.7 7.2,13.7 6.8,13.6 C 7.3,14.8 8.3,15.4 9.6,15.5 C 8.3,16.3 6.7,16.6 5,16 Z'"
# A round chat face with two eyes.
convert -size 96x96 xc:none -fill "$text_colour" \
    -draw "path 'M 22,34 C 30,27 38,26 41,26 L 43,30 C 46,29.5 50,29.5 53,30 L 55,26 C 58,26 66,27 74,34 C 80,44 82,56 81,66 C 75,71 69,73 64,74 L 61,69 C 64,68 66.5,67 69,65.5 L 67.5,64 C 55,69.5 41,69.5 28.5,64 L 27,65.5 C 29.5,67 32,68 35,69 L 32,74 C 27,73 21,71 15,66 C 14,56 16,44 22,34 Z'" \
    \( -size 96x96 xc:none -fill black -draw "ellipse 37.5,52 5.5,6.5 0,360" -draw "ellipse 58.5,52 5.5,6.5 0,360" \) \
    -compose DstOut -composite "$work/chat-face.png"
convert -size 96x96 xc:none -fill 'rgba(11,15,26,0.9)' -stroke "$gold" -strokewidth 5 -draw "circle 48,48 48,4" \
    \( "$work/chat-face.png" -resize 78% \) -gravity center -compose Over -composite -resize 25% "$work/discord.png"
save "$work/discord.png" "$out/Discord.png"

###############################################################################################
# Maker logo: a gold diamond with the initial, and the name.
caps "$work/maker-name.png" 22 "$text_colour" "Brelmor" 1500
caps "$work/maker-initial.png" 52 "$shadow" "B"
convert -size 120x120 xc:none \
    \( -size 120x120 gradient:"$gold_light"-"$gold_dark" \
    \( -size 120x120 xc:black -fill white -draw "polygon 60,4 116,60 60,116 4,60" \) -alpha off -compose CopyOpacity -composite \) \
    -compose Over -composite -fill none -stroke "$shadow" -strokewidth 4 -draw "polygon 60,14 106,60 60,106 14,60" \
    "$work/maker-initial.png" -gravity center -geometry +0+2 -composite -resize 30% "$work/maker-emblem.png"
convert -background none "$work/maker-emblem.png" \( -size 8x1 xc:none \) "$work/maker-name.png" -gravity center +append +repage \
    -bordercolor none -border 1 "$work/maker.png"
shadowed "$work/maker.png" "$work/maker-shadowed.png"
save "$work/maker-shadowed.png" "$out/BrelmorLogo.png"

###############################################################################################
# Window background, 800 x 600 JPEG. The window draws its bottom 450 rows unscaled and squeezes
# the rows above into whatever height is left, so the landscape sits in the lower part and the
# top is open sky. Drawn at twice the size.
stars 420 1600 900 4242 >"$work/sky-stars.txt"
awk '$3 > 1.15 { printf "fill rgba(200,215,255,0.10) circle %.1f,%.1f %.1f,%.1f ", $1, $2, $1 + $3 * 4, $2 }' \
    "$work/sky-stars.txt" >"$work/star-glow.mvg"
convert -size 1600x880 gradient:'#05080f'-'#1d2a4a' \
    \( -size 1600x320 gradient:'rgba(0,0,0,0)'-'rgba(64,78,120,0.55)' \) -gravity south -compose Screen -composite -compose Over \
    \( -size 1600x880 xc:none -fill 'rgba(70,110,160,0.10)' -draw "ellipse 430,300 420,90 0,360" \
    -fill 'rgba(120,80,160,0.08)' -draw "ellipse 1050,220 380,70 0,360" -blur 0x60 \) -gravity north -composite \
    -draw "$(cat "$work/star-glow.mvg")" -draw "$(star_draw "$work/sky-stars.txt")" \
    -background '#080b12' -extent 1600x1200 "$work/background.png"

# The moon with its halo and a few darker seas.
convert -define gradient:extent=Minimum -size 520x520 radial-gradient:'rgba(225,220,185,0.34)'-'rgba(220,215,180,0)' "$work/halo.png"
convert -size 128x128 xc:none -fill '#eee7c8' -draw "circle 64,64 64,8" \
    -fill 'rgba(150,140,110,0.35)' -draw "ellipse 48,52 16,12 0,360" -draw "ellipse 78,80 12,9 0,360" \
    -draw "ellipse 82,44 7,6 0,360" -draw "ellipse 50,88 6,5 0,360" \
    \( +clone -fill none -stroke 'rgba(255,250,230,0.6)' -strokewidth 3 -draw "circle 64,64 64,9" -blur 0x2 \) -composite \
    "$work/moon.png"
convert "$work/background.png" \
    "$work/halo.png" -gravity northwest -geometry +1140+150 -compose Screen -composite \
    "$work/moon.png" -geometry +1336+346 -compose Over -composite \
    "$work/background.png"

# Mountains far and near, a castle on a crag with lit windows, mist, and the dark ground.
distant=$(ridge 2024 700 240 0.6 900)
far=$(ridge 90210 790 300 0.58 900)
near=$(ridge 31337 880 110 0.55 960)
crag="120,900 150,770 190,700 230,650 262,600 300,585 350,590 392,640 420,720 452,790 480,900"
convert "$work/background.png" \
    -fill 'rgba(44,56,92,0.55)' -draw "polygon $distant" \
    -fill '#1a2340' -draw "polygon $far" \
    -fill none -stroke 'rgba(170,185,225,0.22)' -strokewidth 2 -draw "polyline ${far% 1600,900 0,900}" -stroke none \
    \( -size 1600x1200 xc:none -fill 'rgba(150,170,210,0.16)' -draw "ellipse 800,790 900,46 0,360" -blur 0x26 \) -composite \
    -fill '#0c1120' -draw "polygon $crag" \
    -draw "rectangle 268,470 300,600" -draw "polygon 262,472 284,420 306,472" \
    -draw "rectangle 306,520 360,600" -draw "rectangle 300,505 318,530" -draw "rectangle 340,505 358,530" \
    -draw "rectangle 344,440 370,600" -draw "polygon 338,442 357,400 376,442" \
    -draw "rectangle 228,540 266,640" -draw "polygon 222,542 247,502 272,542" \
    -draw "rectangle 296,548 302,560" \
    -fill '#f0c060' -draw "rectangle 281,500 287,512" -draw "rectangle 354,470 360,482" -draw "rectangle 243,566 249,578" \
    -draw "rectangle 322,552 328,562" -draw "rectangle 284,540 288,548" \
    \( -size 1600x1200 xc:none -fill 'rgba(240,180,80,0.5)' -draw "circle 284,506 284,522" -draw "circle 357,476 357,490" \
    -draw "circle 246,572 246,586" -draw "circle 325,557 325,569" -blur 0x10 \) -compose Screen -composite -compose Over \
    -fill '#0a0f1b' -draw "polygon $near" \
    \( -size 1600x1200 xc:none -fill 'rgba(140,160,200,0.13)' -draw "ellipse 500,870 700,40 0,360" \
    -draw "ellipse 1200,880 600,36 0,360" -blur 0x30 \) -composite \
    \( -size 1600x260 gradient:'#0a0e18'-'#040509' \) -gravity south -composite \
    \( -size 1600x1200 radial-gradient:'rgba(0,0,0,0)'-'rgba(0,0,0,0.55)' \) -gravity center -composite \
    -resize 50% "$work/background.png"
convert "$work/background.png" -strip -quality 90 -sampling-factor 4:2:0 -interlace none "$out/BackgroundImage.jpg"

###############################################################################################
# Logo tiles, 176 x 176: one per client variant and one for the launcher itself (also the splash
# picture). A night card with a gold frame, a shield with the game's initial glowing in the
# variant's colour, the name, and a ribbon. A package that is not installed shows the same
# tile faded.
tile_size=176

# tile <output> <accent colour> <ribbon text> [subtitle] [card top colour]
tile() {
    local output=$1 accent=$2 ribbon=$3 subtitle=${4:-} card_top=${5:-'#1c2640'}
    local w=$((tile_size * 2)) h=$((tile_size * 2))
    stars 60 "$w" 200 $((${#ribbon} * 7919 + 17)) >"$work/tile-stars.txt"

    # Card background: night gradient, a faint glow of the accent behind the shield, stars.
    convert -size ${w}x${h} gradient:"$card_top"-"$night" \
        \( -define gradient:extent=Minimum -size 300x300 radial-gradient:"${accent}"-none -channel A -evaluate multiply 0.55 +channel \) \
        -gravity north -geometry +0-40 -compose Screen -composite -compose Over \
        -draw "$(star_draw "$work/tile-stars.txt")" \
        \( -size ${w}x${h} xc:black -fill white -draw "roundrectangle 2,2 $((w - 3)),$((h - 3)) 20,20" \) \
        -alpha off -compose CopyOpacity -composite -compose Over "$work/tile.png"

    # Frame: dark edge, gold line, inner fine line, corner studs.
    convert "$work/tile.png" -fill none \
        -stroke "$shadow" -strokewidth 4 -draw "roundrectangle 2,2 $((w - 3)),$((h - 3)) 20,20" \
        -stroke "$gold" -strokewidth 3 -draw "roundrectangle 8,8 $((w - 9)),$((h - 9)) 15,15" \
        -stroke 'rgba(240,213,144,0.35)' -strokewidth 1.5 -draw "roundrectangle 15,15 $((w - 16)),$((h - 16)) 10,10" \
        -fill "$gold_light" -stroke "$shadow" -strokewidth 1.5 \
        -draw "polygon 8,26 26,8 30,12 12,30" -draw "polygon $((w - 9)),26 $((w - 27)),8 $((w - 31)),12 $((w - 13)),30" \
        -draw "polygon 8,$((h - 27)) 26,$((h - 9)) 30,$((h - 13)) 12,$((h - 31))" \
        -draw "polygon $((w - 9)),$((h - 27)) $((w - 27)),$((h - 9)) $((w - 31)),$((h - 13)) $((w - 13)),$((h - 31))" \
        "$work/tile.png"

    # Shield with the initial, lit in the accent colour.
    local shield="M 126,38 L 226,38 L 226,98 C 226,140 200,160 176,172 C 152,160 126,140 126,98 Z"
    local inner="M 136,48 L 216,48 L 216,98 C 216,132 196,149 176,160 C 156,149 136,132 136,98 Z"
    caps "$work/initial.png" 84 white "Q"
    convert "$work/tile.png" \
        -fill 'rgba(0,0,0,0.55)' -stroke none -draw "translate 0,5 path '$shield'" \
        \( -size ${w}x${h} gradient:'#27324d'-'#0c111d' \
        \( -size ${w}x${h} xc:black -fill white -draw "path '$shield'" \) -alpha off -compose CopyOpacity -composite \) \
        -compose Over -composite \
        -fill none -stroke "$gold" -strokewidth 5 -draw "path '$shield'" \
        -stroke "$accent" -strokewidth 2 -draw "path '$inner'" \
        "$work/tile.png"
    convert -define gradient:extent=Minimum -size 150x150 radial-gradient:"$accent"-none "$work/initial-glow.png"
    convert -size ${w}x120 gradient:'#fff4c8'-"$gold" "$work/initial.png" -gravity north \
        -compose CopyOpacity -composite "$work/initial-gold.png"
    convert "$work/tile.png" \
        "$work/initial-glow.png" -gravity north -geometry +0+30 -compose Screen -composite \
        \( "$work/initial.png" -fill black -colorize 100 -blur 0x3 \) -geometry +0+62 -compose Over -composite \
        "$work/initial-gold.png" -geometry +0+58 -compose Over -composite \
        "$work/tile.png"

    # Name, ribbon with forked tails, and the ribbon's text.
    caps "$work/name.png" 34 "$text_colour" "Quenmar" 2500
    shadowed "$work/name.png" "$work/name-shadowed.png"
    caps "$work/ribbon-text.png" 19 "$ink" "$ribbon" 3000
    shadowed "$work/ribbon-text.png" "$work/ribbon-text-shadowed.png"
    local ry=292
    convert "$work/tile.png" \
        "$work/name-shadowed.png" -gravity north -geometry +0+186 -compose Over -composite \
        -fill "$shadow" -stroke none \
        -draw "polygon 30,$((ry - 14)) 70,$((ry - 14)) 70,$((ry + 22)) 30,$((ry + 22)) 44,$((ry + 4))" \
        -draw "polygon $((w - 31)),$((ry - 14)) $((w - 71)),$((ry - 14)) $((w - 71)),$((ry + 22)) $((w - 31)),$((ry + 22)) $((w - 45)),$((ry + 4))" \
        -fill "$gold_dark" \
        -draw "polygon 33,$((ry - 11)) 68,$((ry - 11)) 68,$((ry + 19)) 33,$((ry + 19)) 46,$((ry + 4))" \
        -draw "polygon $((w - 34)),$((ry - 11)) $((w - 69)),$((ry - 11)) $((w - 69)),$((ry + 19)) $((w - 34)),$((ry + 19)) $((w - 47)),$((ry + 4))" \
        \( -size 244x44 gradient:"$accent"-'#101522' \) -gravity north -geometry +0+$((ry - 22)) -compose Over -composite \
        -fill none -stroke "$gold" -strokewidth 3 -draw "rectangle 54,$((ry - 22)) $((w - 55)),$((ry + 22))" \
        "$work/ribbon-text-shadowed.png" -gravity north -geometry +0+$((ry - 12)) -compose Over -composite \
        "$work/tile.png"
    if [ -n "$subtitle" ]; then
        caps "$work/subtitle.png" 15 "$gold_light" "$subtitle" 4000
        convert "$work/tile.png" "$work/subtitle.png" -gravity north -geometry +0+240 -composite "$work/tile.png"
    fi
    convert "$work/tile.png" -resize 50% "$work/tile-small.png"
    save "$work/tile-small.png" "$out/$output.png"
}

# faded <name>: the not-installed look of a tile.
faded() {
    convert "$out/$1.png" -modulate 62,12 -fill "$night" -colorize 18 "$work/faded.png"
    save "$work/faded.png" "$out/$1_disabled.png"
}

tile QuenmarLogo_QT "$gold" "Online"
# The first generation's card is warmer, like old parchment by candle light.
tile QuenmarLogo_Classic '#b07a48' "Classic" "" '#3a2a1a'
tile QuenmarLogo_Preview '#3a8fc0' "Preview"
tile QuenmarLogo_Beta '#d87a26' "Beta"
tile QuenmarLogo_Test '#9a4cc0' "Test"
for variant in QT Classic Preview Beta Test; do
    faded "QuenmarLogo_$variant"
done
tile LauncherLogo_QT "$gold" "Launcher" "Online"
tile LauncherLogo_UpdatingLauncher '#3a8fc0' "Please wait" "Updating launcher"

echo "rendered into $out"
