#!/usr/bin/env bash
# Regenerates the media of the sample folders in Resources/RudidEdevov: a short travel clip, its
# cover and a spare photo that belongs to no project yet. The texts beside them (subtitles and
# copy) are written by hand and are not touched here.
#
# Everything is drawn from formulas (ffmpeg's geq) and text rendered with libvips, so the same
# tool versions give the same bytes. Needs ffmpeg (with libx264) and vips (libvips-tools), and
# the font Noto Sans CJK SC (fonts-noto-cjk).
set -euo pipefail
cd "$(dirname "$0")/.."

sample=Resources/RudidEdevov
video_dir="$sample/视频输出"
image_dir="$sample/图片输出"
mkdir -p "$video_dir" "$image_dir" "$sample/文案输出"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ffmpeg=(ffmpeg -hide_banner -loglevel error -nostdin -y)

# geq expressions "R;G;B" of a lake at dusk: sky gradient, a sun glowing behind a ridge of hills,
# and water with moving ripples and the sun's reflection. Arguments: horizon (fraction of the
# height), sun position (fractions of width and height), the sun's rise in pixels per second,
# then five colours "R G B": sky top, sky at the horizon, sun, hills, water.
scene() {
    local horizon="$1" sun_x="$2" sun_y="$3" rise="$4"
    local -a top=($5) low=($6) sun=($7) hills=($8) water=($9)
    local h="(H*$horizon)" sx="(W*$sun_x)" sy="(H*$sun_y-$rise*T)"
    local ridge="($h-H*0.07-H*0.035*sin(X/W*9)-H*0.02*sin(X/W*23+1))"
    local in_sun="lt(hypot(X-$sx,Y-$sy),min(W,H)*0.085)"
    local glow="(60*exp(-hypot(X-$sx,Y-$sy)/(min(W,H)*0.18)))"
    local ripple="(10*sin(Y*0.32+4*sin(X/W*11+Y*0.02)+T*4))"
    local in_band="lt(abs(X-$sx),W*0.03+(Y-$h)*0.25)"
    local fade="(1-(Y-$h)/(H-$h))"
    local out="" c
    for c in 0 1 2; do
        local sky="(${top[$c]}+(${low[$c]}-${top[$c]})*Y/$h)"
        local lake="(${water[$c]}+$ripple+$in_band*(${sun[$c]}-${water[$c]})*0.55*$fade)"
        out+="clip(if(lt(Y,$h),if(gt(Y,$ridge),${hills[$c]},if($in_sun,${sun[$c]},$sky+$glow)),$lake),0,255);"
    done
    printf '%s' "$out"
}

# White text with alpha, rendered by Pango through libvips. Arguments: output, text, font.
text_png() {
    vips text "$1" "<span foreground='white'>$2</span>" --font "$3" --rgba --dpi 72
}

# Filter chain that lays the text image of input $1 over the stream labelled $2 with a soft
# shadow, centred horizontally at height $3, fading in from $4 seconds ("-": shown at once); the
# result is labelled $5.
title_over() {
    local input="$1" base="$2" y="$3" start="$4" out="$5" t="t$1"
    local fade=""
    [ "$start" = - ] || fade="fade=in:st=$start:d=0.8:alpha=1,"
    printf '%s' "[$input:v]format=rgba,${fade}split[${t}a][${t}b];" \
        "[${t}b]colorchannelmixer=rr=0:gg=0:bb=0:aa=0.45,gblur=sigma=3[${t}s];" \
        "[$base][${t}s]overlay=x=(W-w)/2+2:y=$y+3[${t}base];" \
        "[${t}base][${t}a]overlay=x=(W-w)/2:y=$y[$out]"
}

dusk=(0.6 0.68 0.5 4 '34 58 110' '246 170 112' '255 226 160' '52 56 88' '28 74 112')

# The clip: 8 seconds of portrait video (9:16) with a quiet wind-like sound.
IFS=';' read -r R G B _ <<< "$(scene "${dusk[@]}")"
text_png "$work/clip-title.png" "洱海骑行" "Noto Sans CJK SC Bold 44"
text_png "$work/clip-line.png" "大理 · 一天环湖的慢时光" "Noto Sans CJK SC 18"
"${ffmpeg[@]}" \
    -f lavfi -i "color=s=360x640:r=25:d=8,format=rgb24,geq=r='$R':g='$G':b='$B'" \
    -loop 1 -framerate 25 -t 8 -i "$work/clip-title.png" \
    -loop 1 -framerate 25 -t 8 -i "$work/clip-line.png" \
    -f lavfi -i "anoisesrc=color=brown:amplitude=0.25:seed=7:d=8:r=48000" \
    -filter_complex "$(title_over 1 0:v 90 0.4 v1);$(title_over 2 v1 150 1.0 v2);[v2]fade=out:st=7.4:d=0.6,format=yuv420p[v];[3:a]lowpass=f=500,afade=in:d=1,afade=out:st=7:d=1[a]" \
    -map '[v]' -map '[a]' -t 8 \
    -c:v libx264 -preset slow -crf 24 -profile:v high -threads 1 -g 50 \
    -c:a aac -b:a 48k -ac 1 \
    -map_metadata -1 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact -movflags +faststart \
    "$video_dir/洱海骑行_成片.mp4"

# The cover: 600 × 800 (3:4), the same scene with the title.
IFS=';' read -r R G B _ <<< "$(scene "${dusk[@]}")"
text_png "$work/cover-title.png" "洱海骑行" "Noto Sans CJK SC Bold 92"
text_png "$work/cover-line.png" "大理 · 一天环湖的慢时光" "Noto Sans CJK SC 34"
"${ffmpeg[@]}" \
    -f lavfi -i "color=s=600x800:d=1,format=rgb24,geq=r='$R':g='$G':b='$B'" \
    -i "$work/cover-title.png" -i "$work/cover-line.png" \
    -filter_complex "$(title_over 1 0:v 100 - c1);$(title_over 2 c1 230 - c2)" \
    -map '[c2]' -frames:v 1 "$work/cover.png"
vips jpegsave "$work/cover.png" "$image_dir/洱海骑行_封面.jpg" --Q 84 --optimize-coding --strip

# A spare photo of another subject, 800 × 600, without text: it waits in the inbox.
dawn=(0.86 0.3 0.62 0 '92 116 168' '250 196 150' '255 240 200' '70 82 110' '60 96 130')
IFS=';' read -r R G B _ <<< "$(scene "${dawn[@]}")"
"${ffmpeg[@]}" -f lavfi -i "color=s=800x600:d=1,format=rgb24,geq=r='$R':g='$G':b='$B'" \
    -frames:v 1 "$work/spare.png"
vips jpegsave "$work/spare.png" "$image_dir/苍山日出.jpg" --Q 82 --optimize-coding --strip

du -ab "$sample" | sort -k2
