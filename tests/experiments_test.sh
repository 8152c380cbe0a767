#!/bin/sh
# Experiments as a user runs them: settings, CSV and log files, write
# failures, a sweep on GNU parallel, the Slurm script stopped and resumed, and summarize.
# Usage: experiments_test.sh VELMORA SOURCE_FOLDER
set -u
velmora=$1
source=$2
. "$(dirname "$0")/check.sh"
rows() { tail -n +2 "$1" | wc -l; }


# Settings outside their range: one line naming option, value and range; nothing written.
"$velmora" --headless --generations 2 --width 0 > out.txt 2> err.txt
check "a bad setting exits 2" test $? -eq 2
check "and names option, value and range" grep -q "^velmora: --width 0: must be a finite number of at least 0.000001$" err.txt
check "and writes nothing" test ! -e log.txt

# CSV, log and quiet; the same seed and settings give the same rows.
"$velmora" --headless --generations 6 --seed 3 --animals 12 --plants 30 --csv a.csv --log a.log --quiet > quiet.txt
check "a run with settings exits 0" test $? -eq 0
check "the CSV has its header" test "$(head -n 1 a.csv)" = "generation,food,wall,food_per_animal,best_food,ave_food,animals,plants,seconds,gene_spread,lineages"
check "and a row per generation" test "$(rows a.csv)" -eq 6
check "the log has a line per generation" test "$(wc -l < a.log)" -eq 6
check "quiet prints nothing on standard output" test ! -s quiet.txt
"$velmora" --headless --generations 2 --load missing.dat --quiet > quiet.txt 2> err.txt
check "quiet still says on standard error why it stops" sh -c "test ! -s quiet.txt && grep -q '^Unable to load missing.dat: ' err.txt"
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

# A sweep on GNU parallel: each job's run is the run made alone.
printf '%s\n' "--mutate-amount 1" "--mutate-amount 4 --animals 60 --plants 40" > settings.txt
"$velmora" --headless --generations 40 --seed 2 --mutate-amount 4 --animals 60 --plants 40 --csv alone.csv --no-log --quiet
if command -v parallel > /dev/null; then
    mkdir runs
    parallel --will-cite "$velmora" --headless --generations 40 --seed {1} --mutate-amount 4 --animals 60 --plants 40 \
        --csv runs/seed{1}.csv --no-log --quiet ::: 1 2
    check "a job under parallel equals the run alone" sh -c "test \"\$(cut -d, -f1-8 runs/seed2.csv)\" = \"\$(cut -d, -f1-8 alone.csv)\""
fi

# The Slurm script as array task 3 without a scheduler (seed 2 of the second
# line), stopped by SIGTERM halfway as at a time limit, then started again as
# the same task: it resumes from its checkpoint and ends as the run alone.
stop_task() {
    rm -rf slurm
    SLURM_ARRAY_TASK_ID=3 SEEDS=2 GENERATIONS=40 VELMORA=$velmora RUNS=slurm \
        sh "$source/scripts/slurm/sweep.sbatch" settings.txt 2> slurm.err &
    task=$!
    wait_until test -e slurm/mutate_amount_4_animals_60_plants_40_seed2.npz
    kill -TERM $task
    wait $task
}
stopped stop_task
check "SIGTERM stops the Slurm task with 143" test "$status" -eq 143
check "the stopped task kept fewer rows" test "$(rows slurm/mutate_amount_4_animals_60_plants_40_seed2.csv)" -lt 40
SLURM_ARRAY_TASK_ID=3 SEEDS=2 GENERATIONS=40 VELMORA=$velmora RUNS=slurm sh "$source/scripts/slurm/sweep.sbatch" settings.txt
check "the task started again ends well" test $? -eq 0
check "the Slurm task's run equals the run alone" \
    sh -c "test \"\$(cut -d, -f1-8 slurm/mutate_amount_4_animals_60_plants_40_seed2.csv)\" = \"\$(cut -d, -f1-8 alone.csv)\""

# The family tree of a run, and its founder lines as a Muller plot.
"$velmora" --headless --generations 20 --seed 5 --animals 30 --plants 30 --generation-length 100 --lineage tree.csv --no-log --quiet > /dev/null
check "the lineage file has every animal once" test "$(tail -n +2 tree.csv | cut -d, -f1 | sort | uniq -d | wc -l)" -eq 0
check "the living end it" test "$(grep -c ',$' tree.csv)" -eq 30
"$velmora" summarize --muller tree.csv --plot muller.png
check "summarize --muller draws a PNG" sh -c "head -c 8 muller.png | od -An -c | grep -q 'P   N   G'"

# summarize: known means and deviations, shared generations, refused files, the chart.
h="generation,food,wall,food_per_animal,best_food,ave_food,animals,plants,seconds"
printf '%s\n0,10,0,1.0,2,1.0,10,5,0.1\n1,30,0,3.0,5,2.0,10,5,0.2\n2,30,0,3.0,5,2.333333,10,5,0.3\n' "$h" > r1.csv
printf '%s\n0,30,0,3.0,4,3.0,10,5,0.1\n1,50,0,5.0,9,4.0,10,5,0.2\n' "$h" > r2.csv
"$velmora" summarize r1.csv r2.csv --out s.csv --plot s.png 2> note.txt
check "summarize exits 0" test $? -eq 0
check "summarize gives means, deviations, minima and maxima" test "$(tail -n +2 s.csv)" = \
"0,2,2.000000,1.414214,1.000000,3.000000,2.000000,1.414214,1.000000,3.000000
1,2,4.000000,1.414214,3.000000,5.000000,3.000000,1.414214,2.000000,4.000000"
check "summarize says the runs differ in length, and nothing else" sh -c "grep -q 'the summary covers the first 2' note.txt && test \$(wc -l < note.txt) -eq 1"
check "summarize draws a PNG" sh -c "head -c 8 s.png | od -An -c | grep -q 'P   N   G'"
tr -d '\r' < r2.csv | sed 's/$/\r/' > crlf.csv
"$velmora" summarize r1.csv crlf.csv > crlf_summary.csv 2> /dev/null
check "summarize reads CR LF files" cmp -s crlf_summary.csv s.csv
"$velmora" summarize a.csv b.csv > ab.csv
check "summarize carries the diversity columns through" sh -c "head -n 1 ab.csv | grep -q ',gene_spread_mean,.*,lineages_max$'"
printf 'step,food\n0,1\n' > other.csv
"$velmora" summarize r1.csv other.csv > /dev/null 2> err.txt
check "summarize refuses other columns" test $? -eq 1
check "naming the file" grep -q "^velmora: other.csv: not a run CSV" err.txt
# A row with any of the numbers summarize reads missing or not a number is refused, naming its line.
for bad in "0,10,0,x,2,1.0,10,5,0.1" "0,10,0,1.0,2,nan,10,5,0.1" "zero,10,0,1.0,2,1.0,10,5,0.1" "0,10,0,1.0,2,1.0,10,5"; do
    printf '%s\n0,10,0,1.0,2,1.0,10,5,0.1\n%s\n' "$h" "$bad" > bad.csv
    "$velmora" summarize r1.csv bad.csv > /dev/null 2> err.txt
    status=$?
    check "summarize refuses the row $bad" sh -c "test $status -eq 1 && grep -q '^velmora: bad.csv: line 3 is not a row of 9 numbers' err.txt"
done

summary
