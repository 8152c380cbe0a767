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
"$velmora" --version > version.txt 2>&1
check "--version exits 0" test $? -eq 0
check "--version names the program" grep -q "^velmora [0-9]" version.txt

for bad in "--headless --generations -1" "--headless --generations" "--headless --generations abc" \
            "--nonsense" "--headless --generations 3 --seed x"; do
    # shellcheck disable=SC2086
    "$velmora" $bad > out.txt 2> err.txt
    check "'$bad' exits 2" test $? -eq 2
    check "'$bad' says why on one line" grep -q "^velmora: " err.txt
    check "'$bad' prints the usage" grep -q "^Usage: " err.txt
    check "'$bad' writes nothing to standard output" test ! -s out.txt
    check "'$bad' touches no file" test ! -e log.txt
done

"$velmora" --headless --generations 30 --seed 1 > run1.txt
check "a headless run exits 0" test $? -eq 0
check "the run prints the stored log" cmp -s log.txt "$data/seed1_30.log"
check "the console holds the set-up line and the log" sh -c "tail -n +2 run1.txt | cmp -s - log.txt"
mv log.txt first.log
"$velmora" --headless --generations 30 --seed 1 > /dev/null
check "the same seed gives the same run" cmp -s log.txt first.log
for threads in 1 2; do
    "$velmora" --headless --generations 3 --seed 2 --animals 250 --plants 400 --width 30 --height 30 \
        --generation-length 20 --threads $threads --log threads$threads.log --save threads$threads.dat --quiet
done
check "one thread and two give the same run" sh -c "cmp -s threads1.log threads2.log && cmp -s threads1.dat threads2.dat"
"$velmora" --headless --generations 2 --seed 1 > /dev/null
check "the log is appended to, never truncated" test "$(wc -l < log.txt)" -eq 32
rm log.txt
{ "$velmora" --headless --generations 50 --seed 1; echo $? > status.txt; } | head -n 2 > /dev/null
check "a closed standard output does not end the run" test "$(wc -l < log.txt)" -eq 50
check "a closed standard output is no failure" test "$(cat status.txt)" -eq 0
"$velmora" --headless --generations 0 > none.txt
check "zero generations write no line" sh -c "test \"\$(cat none.txt)\" = world_setup"

summary
