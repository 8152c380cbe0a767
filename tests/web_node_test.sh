#!/bin/sh
# The WebAssembly core under Node against the native program: the same
# files, byte for byte, for seeds, a run file with changes and edits, and
# checkpoints resumed across. Usage: web_node_test.sh VELMORA VELMORA.MJS DATA_FOLDER
set -u
native=$1
web="node $2"
data=$3
. "$(dirname "$0")/check.sh"

# The checkpoints' members alike, whatever the archives' times.
same_state() {
    /usr/bin/python3 -c 'import sys, zipfile
a, b = (zipfile.ZipFile(p) for p in sys.argv[1:])
sys.exit(sorted(a.namelist()) != sorted(b.namelist()) or any(a.read(n) != b.read(n) for n in a.namelist()))' "$1" "$2"
}
# The CSVs alike but for their seconds.
same_csv() { cmp -s "$(cut -d, -f1-8,10- "$1" > "$1.cut"; echo "$1.cut")" "$(cut -d, -f1-8,10- "$2" > "$2.cut"; echo "$2.cut")"; }
# Runs the arguments with both programs, each in a folder of its own, and compares what they left.
both() {
    label=$1
    shift
    for side in native web; do
        rm -rf "$side" && mkdir "$side" && cp "$data/exact_run.toml" "$data/map_half8.png" "$side/"
        [ "$side" = native ] && program=$native || program=$web
        (cd "$side" && $program "$@" --csv run.csv --save end.dat --checkpoint end.npz --checkpoint-every 100000 \
            --lineage tree.csv --quiet > out.txt 2> err.txt; echo $? > status.txt)
    done
    check "$label: both end with 0" sh -c "test \"\$(cat native/status.txt)\" = 0 && test \"\$(cat web/status.txt)\" = 0"
    check "$label: the same log" cmp -s native/log.txt web/log.txt
    check "$label: the same CSV" same_csv native/run.csv web/run.csv
    check "$label: the same world file" cmp -s native/end.dat web/end.dat
    check "$label: the same family tree" cmp -s native/tree.csv web/tree.csv
    check "$label: the same end state" same_state native/end.npz web/end.npz
}

for seed in 1 2 3; do both "seed $seed" --headless --generations 40 --seed "$seed"; done
both "a run file with changes and edits" --headless --run exact_run.toml --generations 30 --save-run again.toml
check "which both write again alike" cmp -s native/again.toml web/again.toml

# A checkpoint made by one goes on in the other to the same end.
rm -rf cross && mkdir cross && cd cross
$native --headless --generations 40 --seed 4 --checkpoint whole.npz --checkpoint-every 100000 --no-log --quiet
$native --headless --generations 20 --seed 4 --checkpoint native.npz --checkpoint-every 100000 --no-log --quiet
$web --headless --generations 20 --seed 4 --checkpoint web.npz --checkpoint-every 100000 --no-log --quiet
check "a checkpoint is the same from both" same_state native.npz web.npz
$web --headless --generations 40 --resume native.npz --checkpoint from_native.npz --checkpoint-every 100000 --no-log --quiet
check "the native checkpoint resumed under Node ends as the whole run" same_state from_native.npz whole.npz
$native --headless --generations 40 --resume web.npz --checkpoint from_web.npz --checkpoint-every 100000 --no-log --quiet
check "and the other way round" same_state from_web.npz whole.npz
cd ..

# Refusals, as the native program gives them.
$native --headless --generations 3 --width -1 > /dev/null 2> native.err
$web --headless --generations 3 --width -1 > /dev/null 2> web.err
check "a bad setting is refused under Node with 2" sh -c "$web --headless --generations 3 --width -1 > /dev/null 2>&1; test \$? -eq 2"
check "with the native program's message" cmp -s native.err web.err
printf 'format = 9\nseed = 1\n' > newer.toml
$web --headless --run newer.toml --generations 1 > newer.err 2>&1
check "a run file of a newer format is refused, naming both" grep -q "its format 9 is newer than 1" newer.err
summary
