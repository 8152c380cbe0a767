#!/bin/sh
# Experiments as a user runs them: settings, CSV and log files, interrupts,
# write failures, a sweep on GNU parallel, the Slurm script, and summarize.
# Usage: experiments_test.sh VELMORA SOURCE_FOLDER
set -u
velmora=$1
source=$2
. "$(dirname "$0")/check.sh"
rows() { tail -n +2 "$1" | wc -l; }
without_seconds() { cut -d, -f1-8 "$1"; }

# Settings outside their range: one line naming option, value and range; nothing written.
"$velmora" --headless --generations 2 --width 0 > out.txt 2> err.txt
check "a bad setting exits 2" test $? -eq 2
check "and names option, value and range" grep -q "^velmora: --width 0: must be a finite number of at least 0.000001$" err.txt
check "and writes nothing" test ! -e log.txt

# CSV, log and quiet; the same seed and settings give the same rows.
"$velmora" --headless --generations 6 --seed 3 --animals 12 --plants 30 --csv a.csv --log a.log --quiet > quiet.txt
check "a run with settings exits 0" test $? -eq 0
check "the CSV has its header" test "$(head -n 1 a.csv)" = "generation,food,wall,food_per_animal,best_food,ave_food,animals,plants,seconds"
check "and a row per generation" test "$(rows a.csv)" -eq 6
check "the log has a line per generation" test "$(wc -l < a.log)" -eq 6
check "quiet prints no generation line" test "$(grep -c '^Gen:' quiet.txt)" -eq 0
check "the settings reach the world" test "$(cut -d, -f7,8 a.csv | tail -n 1)" = "12,30"
"$velmora" --headless --generations 6 --seed 3 --animals 12 --plants 30 --csv b.csv --no-log --save b.dat > /dev/null
check "the same run gives the same rows" sh -c "test \"\$(cut -d, -f1-8 a.csv)\" = \"\$(cut -d, -f1-8 b.csv)\""
check "no log with --no-log" test ! -e log.txt
# Wrapping edges never count a wall hit, with a loaded world too.
"$velmora" --headless --generations 2 --seed 3 --wrap --csv w.csv --no-log --quiet > /dev/null
"$velmora" --headless --generations 2 --seed 3 --load b.dat --wrap --csv lw.csv --no-log --quiet > /dev/null
check "--wrap wraps" test "$(cut -d, -f3 w.csv | tail -n +2 | sort -u)" = 0
check "--wrap wraps a loaded world" test "$(cut -d, -f3 lw.csv | tail -n +2 | sort -u)" = 0

# A full device: said once on standard error, status 1, the world still saved.
"$velmora" --headless --generations 3 --seed 1 --log /dev/full --save full.dat > /dev/null 2> err.txt
check "a failed log write exits 1" test $? -eq 1
check "and is said once" test "$(grep -c 'cannot write /dev/full' err.txt)" -eq 1
check "and the world is saved" test -s full.dat
"$velmora" --headless --generations 3 --seed 1 --no-log --csv /dev/full > /dev/null 2> err.txt
check "a failed CSV write exits 1" test $? -eq 1

# Interrupts end the run after the current update, keeping every finished row.
for signal in INT TERM; do
    "$velmora" --headless --generations 100000 --seed 1 --animals 200 --csv sig.csv --save sig.dat --quiet \
        > /dev/null 2> sig.txt &
    pid=$!
    tries=0
    # Two finished generations, with a generous limit for slow (sanitizer) builds.
    while kill -0 $pid 2> /dev/null && [ "$(rows sig.csv 2> /dev/null)" -lt 2 ] && [ $tries -lt 3000 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    kill -s $signal $pid || { echo "the run ended before SIG$signal:"; cat sig.txt; }
    wait $pid
    status=$?
    expected=130
    [ $signal = TERM ] && expected=143
    check "SIG$signal ends the run with $expected" test $status -eq $expected
    check "SIG$signal says where it stopped" grep -q "stopped by .* at generation" sig.txt
    check "SIG$signal keeps whole rows" test "$(awk -F, 'NF != 9' sig.csv | wc -l)" -eq 0
    check "SIG$signal saves the world" test -s sig.dat
    rm -f sig.csv sig.dat
done

# A sweep on GNU parallel: 2 seeds x 2 mutate amounts, each as the same run made alone.
if command -v parallel > /dev/null; then
    mkdir runs
    parallel --will-cite --joblog runs/joblog "$velmora" --headless --generations 5 --seed {1} --mutate-amount {2} \
        --csv runs/m{2}_seed{1}.csv --log runs/m{2}_seed{1}.log --quiet ::: 1 2 ::: 1 4
    check "parallel runs every job" test "$(ls runs/*.csv | wc -l)" -eq 4
    for seed in 1 2; do
        for amount in 1 4; do
            "$velmora" --headless --generations 5 --seed $seed --mutate-amount $amount --csv alone.csv --no-log --quiet
            check "parallel seed $seed amount $amount equals the run alone" \
                sh -c "test \"\$(cut -d, -f1-8 runs/m${amount}_seed$seed.csv)\" = \"\$(cut -d, -f1-8 alone.csv)\""
        done
    done
fi

# The Slurm script, run as array task 3 without a scheduler: seed 2 of the second line.
printf '%s\n' "--mutate-amount 1" "--mutate-amount 4" > settings.txt
SLURM_ARRAY_TASK_ID=3 SEEDS=2 GENERATIONS=5 VELMORA=$velmora RUNS=slurm sh "$source/scripts/slurm/sweep.sbatch" settings.txt
check "the Slurm task writes its run" test -s slurm/mutate_amount_4_seed2.csv
check "the Slurm task's run equals the run alone" \
    sh -c "test \"\$(cut -d, -f1-8 slurm/mutate_amount_4_seed2.csv)\" = \"\$(cut -d, -f1-8 runs/m4_seed2.csv)\""

# summarize: known means and deviations, shared generations, refused files, the chart.
h="generation,food,wall,food_per_animal,best_food,ave_food,animals,plants,seconds"
printf '%s\n0,10,0,1.0,2,1.0,10,5,0.1\n1,30,0,3.0,5,2.0,10,5,0.2\n2,30,0,3.0,5,2.333333,10,5,0.3\n' "$h" > r1.csv
printf '%s\n0,30,0,3.0,4,3.0,10,5,0.1\n1,50,0,5.0,9,4.0,10,5,0.2\n' "$h" > r2.csv
"$velmora" summarize r1.csv r2.csv --out s.csv --plot s.png 2> note.txt
check "summarize exits 0" test $? -eq 0
check "summarize gives means, deviations, minima and maxima" test "$(tail -n +2 s.csv)" = \
"0,2,2.000000,1.414214,1.000000,3.000000,2.000000,1.414214,1.000000,3.000000
1,2,4.000000,1.414214,3.000000,5.000000,3.000000,1.414214,2.000000,4.000000"
check "summarize says the runs differ in length" grep -q "the summary covers the first 2" note.txt
check "summarize draws a PNG" sh -c "head -c 8 s.png | od -An -c | grep -q 'P   N   G'"
tr -d '\r' < r2.csv | sed 's/$/\r/' > crlf.csv
"$velmora" summarize r1.csv crlf.csv > crlf_summary.csv 2> /dev/null
check "summarize reads CR LF files" cmp -s crlf_summary.csv s.csv
printf 'step,food\n0,1\n' > other.csv
"$velmora" summarize r1.csv other.csv > /dev/null 2> err.txt
check "summarize refuses other columns" test $? -eq 1
check "naming the file" grep -q "^velmora: other.csv: not a run CSV" err.txt

summary
