#!/bin/sh
# Videos of headless runs, read back by ffprobe: format, size, rate and frame
# count as asked, the same run with and without recording, and a write that
# fails part-way. Usage: video_cli_test.sh VELMORA
set -u
velmora=$1
. "$(dirname "$0")/check.sh"

probe() {
    ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_frames -of csv=p=0 "$1"
}

"$velmora" --headless --generations 2 --generation-length 50 --seed 3 --log plain.log > /dev/null
for row in "run.mp4 h264" "run.WEBM vp9" "run.gif gif"; do
    set -- $row
    rm -f run.log
    "$velmora" --headless --generations 2 --generation-length 50 --seed 3 --log run.log --record "$1" \
        --record-every 20 --record-size 320x240 --record-fps 25 > out.txt
    check "$1: the run ends well" test $? -eq 0
    check "$1: $2, 320x240, 25 frames a second, one frame every 20 of 100 updates" \
        test "$(probe "$1")" = "$2,320,240,25/1,5"
    check "$1: the run is the same as without recording" cmp -s run.log plain.log
    check "$1: the console says where the video went" grep -q "^Recorded 5 frames to $1\$" out.txt
done

# A GIF keeps the picture's own colours exactly: its palette holds the colours
# the frame uses most, so the white ground, green plants and black outlines
# come out as they were drawn, and nothing else takes much of the frame.
ffmpeg -v error -i run.gif -frames:v 1 -f rawvideo -pix_fmt rgb24 -y frame.rgb
check "run.gif: white ground, green plants and black outlines exact, other colours a speck" python3 -c "
import collections, sys
data = open('frame.rgb', 'rb').read()
counts = collections.Counter(data[i:i + 3] for i in range(0, len(data), 3))
white, green, black = counts[bytes([255, 255, 255])], counts[bytes([0, 255, 0])], counts[bytes([0, 0, 0])]
sys.exit(not (white > 0.8 * 320 * 240 and green > 100 and black > 100 and white + green + black > 0.99 * 320 * 240))"

"$velmora" --headless --generations 1 --generation-length 30 --seed 3 --no-log --quiet --record odd.mp4 --record-size 101x75 > out.txt
check "an odd size is coded a pixel larger" test "$(probe odd.mp4)" = h264,102,76,30/1,3
check "and a quiet run says nothing" test ! -s out.txt

# A file size limit fails the video's writes as a full disk would.
rm -f run.log
(ulimit -f 400 && "$velmora" --headless --generations 2 --generation-length 200 --seed 3 --log run.log --record full.mp4 \
    --record-every 1 --csv run.csv > out.txt 2> err.txt; echo $? > status.txt)
"$velmora" --headless --generations 2 --generation-length 200 --seed 3 --log full_plain.log > /dev/null
check "a failed video makes the exit status 1" test "$(cat status.txt)" -eq 1
check "and is told on one line" sh -c "test \$(wc -l < err.txt) -eq 1 && grep -q '^velmora: cannot write the video full.mp4: .*; the recording stopped at frame [0-9]*\$' err.txt"
check "the run went on to its end, its log and CSV whole" sh -c "cmp -s run.log full_plain.log && test \$(wc -l < run.csv) -eq 3"
frames=$(probe full.mp4 2> probe_errors.txt | cut -d, -f5)
check "what was written plays to its last frame: $frames frames" sh -c "test ${frames:-0} -gt 10 && test ! -s probe_errors.txt"
stopped_at=$(sed 's/.* at frame //' err.txt)
check "all of them before the frame the message names" test "${frames:-0}" -lt "$stopped_at"

summary
