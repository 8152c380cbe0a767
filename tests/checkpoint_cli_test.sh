#!/bin/sh
# Runs that survive anything: killed with -9, or stopped by SIGTERM or Ctrl-C
# after a SIGUSR1 checkpoint, a run resumed with the same command line ends
# exactly as the run that was never stopped. Usage: checkpoint_cli_test.sh VELMORA
set -u
velmora=$1
. "$(dirname "$0")/check.sh"

args="--headless --generations 120 --seed 3 --animals 60 --plants 40 --generation-length 200
      --csv run.csv --log run.log --save run.dat --lineage run.lin --checkpoint run.npz --checkpoint-every 2"
# shellcheck disable=SC2086
"$velmora" $args > whole.txt
mv run.csv whole.csv
mv run.dat whole.dat
mv run.lin whole.lin
rm run.npz run.log

# Starts the run and stops it as $1 says: SIGKILL after its first checkpoint,
# or SIGUSR1 and then the signal $1.
start_and_stop() {
    rm -f run.npz run.csv run.dat run.lin stopped.txt
    # shellcheck disable=SC2086
    "$velmora" $args > stopped.txt 2> stopped.err &
    pid=$!
    wait_until grep -qs "Checkpoint saved" stopped.txt
    [ "$1" = KILL ] || kill -USR1 $pid 2> /dev/null
    kill -"$1" $pid 2> /dev/null
    wait $pid
}

# Stops a run as $1 says, then resumes it; $2 is the exit status the stop gives.
stop_and_resume() {
    stopped start_and_stop "$1"
    check "$1 ends the run with $2" test $status -eq "$2"
    if [ "$1" != KILL ]; then
        check "$1 says where it stopped" grep -q "stopped by .* at generation" stopped.err
        check "$1 writes a checkpoint as the run stops" sh -c "tail -n 2 stopped.txt | grep -q '^Checkpoint saved to run.npz'"
        check "$1 saves the world and keeps whole rows" sh -c "test -s run.dat && test \$(awk -F, 'NF != 11' run.csv | wc -l) -eq 0"
    fi
    # shellcheck disable=SC2086
    "$velmora" $args --resume run.npz > resumed.txt
    check "the run resumed after $1 ends well" test $? -eq 0
    check "after $1, the same world file" cmp -s run.dat whole.dat
    check "after $1, the same CSV but for the seconds" sh -c "cut -d, -f1-8 run.csv | cmp -s - whole.csv.cut"
    check "after $1, the same lineage file" cmp -s run.lin whole.lin
    resumed_at=$(sed -n 's/^Resumed from run.npz at generation \([0-9]*\), update \([0-9]*\)$/\1 \2/p' resumed.txt)
    check "after $1, the same console lines from the checkpoint on" sh -c \
        "tail -n +3 resumed.txt | grep -v '^Checkpoint saved' > tail.txt && grep -v '^Checkpoint saved' whole.txt | tail -n \$(wc -l < tail.txt) | cmp -s - tail.txt && test -s tail.txt"
    check "after $1, the run goes on from generation ${resumed_at%% *} > 0" test "${resumed_at%% *}" -gt 0
}

cut -d, -f1-8 whole.csv > whole.csv.cut
# SIGUSR1 asks for a checkpoint and the run goes on; a run that names no
# checkpoint file writes it to the default one, and it resumes.
"$velmora" --headless --generations 1000000 --seed 3 --animals 60 --plants 40 --csv long.csv > long.txt 2> long.err &
pid=$!
wait_until grep -qs "^1," long.csv
kill -USR1 $pid
wait_until grep -qs "^Checkpoint saved to velmora-checkpoint.npz at generation" long.txt
asked_at=$(sed -n 's/^Checkpoint saved to velmora-checkpoint.npz at generation \([0-9]*\),.*/\1/p' long.txt)
wait_until grep -qs "^$((${asked_at:-0} + 2))," long.csv
kill -TERM $pid
wait $pid
status=$?
check "SIGUSR1 writes the default checkpoint" test -n "$asked_at"
check "after SIGUSR1 the run goes on until stopped" test $status -eq 143 -a "$(grep -c '^Checkpoint saved' long.txt)" -eq 1
"$velmora" --headless --resume velmora-checkpoint.npz --generations $((${asked_at:-0} + 1)) > long_resumed.txt
check "the SIGUSR1 checkpoint resumes" grep -q "^Resumed from velmora-checkpoint.npz at generation ${asked_at:-x}," long_resumed.txt

stop_and_resume KILL 137
stop_and_resume TERM 143
stop_and_resume INT 130

# Researchers open a checkpoint with numpy alone.
if /usr/bin/python3 -c "import numpy" 2> /dev/null; then
    check "numpy reads the checkpoint" /usr/bin/python3 - run.npz whole.csv << 'PYTHON'
import csv, sys, numpy
c = numpy.load(sys.argv[1])
rows = list(csv.DictReader(open(sys.argv[2])))
assert int(c["format"]) == 6 and int(c["generation"]) == 120, (c["format"], c["generation"])
assert c["animal_genes"].shape == (60, 298) and c["neuron_out"].shape == (60, 18)
assert [int(r["food"]) for r in rows] == c["history_food"].tolist()
assert c["animal_x"].min() > 0 and c["animal_x"].max() < 10
PYTHON
fi

"$velmora" --headless --generations 3 --resume missing.npz > missing.txt 2>&1
check "a missing checkpoint is refused with exit 1" test $? -eq 1
check "a missing checkpoint is named" grep -q "^Unable to load missing.npz: No such file" missing.txt
summary
