#!/bin/sh
# The velmora program as a user runs it: exit codes, errors, the log, and a
# repeatable run. Usage: headless_cli_test.sh VELMORA DATA_FOLDER
set -u
velmora=$1
data=$2
. "$(dirname "$0")/check.sh"

"$velmora" --help > help.txt 2>&1
check "--help exits 0" test $? -eq 0
check "--help lists every setting" sh -c "grep -q -- --layer-width help.txt && grep -q -- --mutate-amount help.txt"
check "--help says what each option takes" sh -c "grep -q -- '--seed S ' help.txt && grep -q -- '--width X ' help.txt && ! grep -q TEXT help.txt"
"$velmora" --version > version.txt 2>&1
check "--version exits 0" test $? -eq 0
check "--version names the program" grep -q "^velmora [0-9]" version.txt

"$velmora" --headless --generations abc > out.txt 2> err.txt
check "a bad option exits 2" test $? -eq 2
check "and says why on one line, then the usage" sh -c "grep -q '^velmora: ' err.txt && grep -q '^Usage: ' err.txt"
check "and writes nothing, nor any file" sh -c "test ! -s out.txt && test ! -e log.txt"

"$velmora" --headless --generations 30 --seed 1 > run1.txt
check "a headless run exits 0" test $? -eq 0
check "the run prints the stored log of the program's own functions" cmp -s log.txt "$data/seed1_30_exact.log"
check "the console holds the set-up line and the log" sh -c "tail -n +2 run1.txt | cmp -s - log.txt"
mv log.txt first.log
"$velmora" --headless --generations 30 --seed 1 --math system > /dev/null
check "with the C library's, the stored log of the runs made before the choice" cmp -s log.txt "$data/seed1_30.log"
rm log.txt
"$velmora" --headless --generations 30 --seed 1 > /dev/null
check "the same seed gives the same run" cmp -s log.txt first.log
"$velmora" --headless --generations 2 --seed 1 > /dev/null
check "the log is appended to, never truncated" test "$(wc -l < log.txt)" -eq 32
rm log.txt
{ "$velmora" --headless --generations 50 --seed 1; echo $? > status.txt; } | head -n 2 > /dev/null
check "a closed standard output does not end the run" test "$(wc -l < log.txt)" -eq 50
check "a closed standard output is no failure" test "$(cat status.txt)" -eq 0
"$velmora" --headless --generations 0 > none.txt
check "zero generations write no line" sh -c "test \"\$(cat none.txt)\" = world_setup"

# The most animals a world file holds, of the default shape and density: made,
# run on one thread and on two, saved and loaded again.
for threads in 1 2; do
    "$velmora" --headless --generations 1 --generation-length 3 --seed 2 --animals 50000 --plants 50000 --width 500 \
        --height 500 --threads $threads --save big$threads.dat --csv big$threads.csv --no-log --quiet > /dev/null
done
check "50,000 animals run a generation and are saved" test "$(head -c 60 big1.dat | cut -d' ' -f7)" = 50000
cut -d, -f1-8,10- big1.csv > runs1.txt  # all but the seconds each generation took
cut -d, -f1-8,10- big2.csv > runs2.txt
check "the same run on one thread and on two" sh -c "cmp -s big1.dat big2.dat && cmp -s runs1.txt runs2.txt"
"$velmora" --headless --generations 0 --load big1.dat --save big3.dat --no-log --quiet > /dev/null
check "and their file loads and saves as it was" cmp -s big1.dat big3.dat
rm -f big1.dat big2.dat big3.dat big1.csv big2.csv runs1.txt runs2.txt

summary
