"""The velmora module against the velmora program: the same runs, files and refusals."""
import copy
import errno
import inspect
import json
import os
import re
import signal
import subprocess
import sys
import threading
import time
import warnings

import numpy as np
import pytest

import velmora

PROGRAM = os.environ["VELMORA_PROGRAM"]
SETTINGS = dict(seed=7, animals=30, plants=15, width=12.5, generation_length=100)


def command_line(settings):
    arguments = []
    for name, value in settings.items():
        arguments += ["--" + name.replace("_", "-"), str(value)]
    return arguments


def run_program(tmp_path, *arguments):
    return subprocess.run([PROGRAM, *arguments], cwd=tmp_path, capture_output=True, text=True)


def test_a_script_runs_the_command_lines_run(tmp_path, capfd, monkeypatch):
    program = run_program(tmp_path, "--headless", "--generations", "4", "--log", "cli.log", "--csv", "cli.csv",
                          *command_line(SETTINGS))
    assert program.returncode == 0, program.stderr
    monkeypatch.chdir(tmp_path)
    velmora.World(**SETTINGS).run(generations=1)  # writes no log unless asked
    assert sorted(os.listdir(tmp_path)) == ["cli.csv", "cli.log"]
    capfd.readouterr()
    world = velmora.World(**SETTINGS, log=str(tmp_path / "py.log"), quiet=False)
    world.run(generations=3)
    world.update(world.generation_length - 1)
    assert world.generation == 3 and world.update_count == world.generation_length - 1
    world.update()
    assert world.generation == 4
    assert capfd.readouterr().out == program.stdout
    assert (tmp_path / "py.log").read_text() == (tmp_path / "cli.log").read_text()
    rows = [line.split(",") for line in (tmp_path / "cli.csv").read_text().splitlines()]
    history = world.history()
    assert list(history) == rows[0]
    for column, name in enumerate(rows[0]):
        values = [float(row[column]) for row in rows[1:]]
        if name == "seconds":
            assert np.all(np.diff(history[name]) >= 0) and len(history[name]) == len(values)
        else:
            np.testing.assert_allclose(history[name], values, rtol=0, atol=5e-7, err_msg=name)


def test_worlds_side_by_side_in_threads_are_each_their_own_run():
    def run(seed):
        world = velmora.World(seed=seed, animals=250, plants=250, width=40, height=40, generation_length=20)
        world.run(generations=2)
        return world.animals(), world.history()

    alone = [run(seed) for seed in (1, 2, 3)]
    together = [None] * 3

    def in_thread(k):
        together[k] = run(k + 1)

    threads = [threading.Thread(target=in_thread, args=(k,)) for k in range(3)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for (animals, history), (animals_2, history_2) in zip(alone, together):
        for name in animals:
            np.testing.assert_array_equal(animals[name], animals_2[name], err_msg=name)
        for name in history:
            if name != "seconds":
                np.testing.assert_array_equal(history[name], history_2[name], err_msg=name)
    assert not np.array_equal(alone[0][0]["x"], alone[1][0]["x"])


def test_updates_leave_the_interpreter_to_other_threads():
    world = velmora.World(seed=2, animals=300, plants=300, width=30, height=30, threads=1)
    span = []

    def update():
        start = time.perf_counter()
        world.update(400)
        span.extend([start, time.perf_counter()])

    thread = threading.Thread(target=update)
    stamps = []
    thread.start()
    while thread.is_alive():
        stamps.append(time.perf_counter())
    thread.join()
    start, end = span
    assert end - start > 0.1
    # While the update ran, this thread ran too: it could not, had the update held the interpreter.
    assert sum(start + 0.02 < stamp < end - 0.02 for stamp in stamps) > 100


def test_arrays_agree_with_the_saved_world_file(tmp_path):
    world = velmora.World(seed=3, animals=4, plants=6, layer_width=3)
    world.run(generations=1)
    world.update(17)
    world.save(str(tmp_path / "w.dat"))
    words = (tmp_path / "w.dat").read_text().split()
    header, at = words[:10], 10
    assert int(header[6]) == len(world) == 4
    for i in range(len(world)):
        neurons, at = int(words[at]), at + 1
        genes = []
        for _ in range(neurons):
            bias, inputs = float(words[at + 1]), int(words[at + 2])
            genes += [float(w) for w in words[at + 3:at + 3 + inputs]] + [bias]
            at += 3 + inputs
        np.testing.assert_allclose(world.genes()[i], genes, rtol=0, atol=5e-7)
        np.testing.assert_array_equal(world.genes(id=int(world.animals()["id"][i])), world.genes()[i])
    animals, plants, senses = world.animals(), world.plants(), world.senses()
    assert all(values.shape == (4,) for values in animals.values())  # 1-D columns: a table
    assert senses["touch"].shape == (4, 6, 3) and senses["vision"].shape == (4, 5)
    np.testing.assert_array_equal(senses["id"], animals["id"])
    assert all(np.all((values >= 0) & (values <= 10)) for values in (animals["x"], animals["y"], plants["x"], plants["y"]))
    assert len(plants["y"]) == 6 and np.all(plants["size_x"] == 0.25)
    assert set(np.unique(senses["touch"])) <= {-0.5, 0.5}
    loaded = velmora.World.load(str(tmp_path / "w.dat"))
    for i in range(len(world)):
        np.testing.assert_allclose(loaded.genes()[i], world.genes()[i], rtol=0, atol=5e-7)


def test_a_checkpoint_resumes_the_same_run(tmp_path):
    world = velmora.World(seed=5, generation_length=50)
    world.update(120)
    world.checkpoint(str(tmp_path / "c.npz"))
    resumed = velmora.World.resume(str(tmp_path / "c.npz"))
    assert (resumed.generation, resumed.update_count) == (2, 20)
    # Generations ended before the resume took no time of this World's.
    assert list(resumed.history()["seconds"]) == [0.0, 0.0]
    for w in (world, resumed):
        w.run(generations=2)
    for name in ("x", "heading", "food", "id", "parent_a"):
        np.testing.assert_array_equal(world.animals()[name], resumed.animals()[name], err_msg=name)
    np.testing.assert_array_equal(world.history()["food"], resumed.history()["food"])


def test_resume_takes_how_a_world_runs_and_refuses_what_it_is(tmp_path, capfd):
    world = velmora.World(seed=2, generation_length=30)
    world.update(40)
    world.checkpoint(str(tmp_path / "c.npz"))
    with pytest.raises(ValueError, match="seed cannot be given with resume"):
        velmora.World.resume(str(tmp_path / "c.npz"), seed=1)
    for name in ("animals", "width", "height", "layer_count", "layer_width", "animal_size", "plant_size"):
        with pytest.raises(ValueError, match="--" + name.replace("_", "-") + " differs from the checkpoint's"):
            velmora.World.resume(str(tmp_path / "c.npz"), **{name: 3})
    # Equal to the checkpoint's: no change at all.
    same = velmora.World.resume(str(tmp_path / "c.npz"), animals=20, width=10, generation_length=30, plants=10)
    same.run(generations=1)
    capfd.readouterr()
    resumed = velmora.World.resume(str(tmp_path / "c.npz"), threads=2, log=str(tmp_path / "r.log"), quiet=False)
    assert (resumed.generation, resumed.update_count) == (1, 10)
    resumed.run(generations=1)
    printed = capfd.readouterr().out
    assert printed.splitlines()[:2] == ["world_setup", "Resumed from " + str(tmp_path / "c.npz") + " at generation 1, update 10"]
    assert "Gen:    1" in printed
    assert open(tmp_path / "r.log").read().splitlines() == [line for line in printed.splitlines() if line.startswith("Gen:")]
    world.run(generations=1)
    np.testing.assert_array_equal(world.animals()["x"], resumed.animals()["x"])
    np.testing.assert_array_equal(world.animals()["x"], same.animals()["x"])
    # A changeable setting that differs branches the run there.
    branch = velmora.World.resume(str(tmp_path / "c.npz"), plants=3)
    branch.run(generations=1)
    assert branch.history()["plants"][-1] == 3 and len(branch.plants()["x"]) == 3


@pytest.mark.parametrize("settings, arguments", [
    (dict(animals=50001), ["--animals", "50001"]),
    (dict(width=0), ["--width", "0"]),
    (dict(seed=-1), ["--seed", "-1"]),
    (dict(layer_width=1001), ["--layer-width", "1001"]),
    (dict(threads=65), ["--threads", "65"]),
    (dict(mutate_rate=1.5), ["--mutate-rate", "1.5"]),
    (dict(animal_size=11), ["--animal-size", "11"]),
])
def test_bad_settings_raise_the_command_lines_rule_by_keyword(tmp_path, settings, arguments):
    program = run_program(tmp_path, "--headless", "--generations", "0", *arguments)
    assert program.returncode == 2
    with pytest.raises(ValueError) as error:
        velmora.World(**settings)
    keyword = next(iter(settings))
    said = program.stderr.splitlines()[0]
    # The same rule, the setting named as each spells it.
    assert str(error.value).startswith(keyword)
    assert str(error.value).split(": ", 1)[1] == said.split(": ", 2)[2]


def _files(folder):
    (folder / "bad.dat").write_text("10 10 5 500 2 0.25 2 0.5 1\n")
    (folder / "bad.csv").write_text("id,ancestor_list,origin_time,destruction_time\n1,[NONE],0,\n2,\"[1]\",1,\n")
    velmora.World(seed=1).save(folder / "w.dat")
    velmora.World(seed=1).checkpoint(folder / "c.npz")
    velmora.World(seed=1).save_run(folder / "r.toml")
    return folder


# Each bad call: what it raises, and the words that say why, the keyword named as Python spells it.
BAD_CALLS = [
    (lambda w, d: velmora.World(colour=3), TypeError, "World\\(\\) got an unexpected keyword argument 'colour'"),
    (lambda w, d: velmora.World(anmals=20), TypeError, "unexpected keyword argument 'anmals'"),
    (lambda w, d: velmora.World(wrap="no"), TypeError, "^wrap must be True or False, not str$"),
    (lambda w, d: velmora.World(animals=True), TypeError, "^animals must be an int, not bool$"),
    (lambda w, d: velmora.World(animals="20"), TypeError, "^animals must be an int, not str$"),
    (lambda w, d: velmora.World(seed="1"), TypeError, "^seed must be an int, not str$"),
    (lambda w, d: velmora.World(width="wide"), TypeError, "^width must be a number, not str$"),
    (lambda w, d: velmora.World(animals=-1), ValueError, "^animals=-1: must be a whole number from 0 to 50000$"),
    (lambda w, d: velmora.World(math="fast"), ValueError, "^math='fast': must be"),
    (lambda w, d: velmora.World(quiet=1), TypeError, "^quiet must be True or False, not int$"),
    (lambda w, d: velmora.World(schedule={"generation": 1}), TypeError, "^schedule must be a list of dicts, not dict$"),
    (lambda w, d: velmora.World(schedule=[{"generation": 1.5, "plants": 3}]), TypeError,
     "^schedule\\[0\\]\\['generation'\\] must be an int, not float$"),
    (lambda w, d: velmora.World(schedule=[{"generation": 1, "animals": 3}]), ValueError, "animals cannot change during a run"),
    (lambda w, d: velmora.World(seasons={"period": 10, "low": 5}), ValueError, "seasons need high"),
    (lambda w, d: velmora.World(food_map=[1, 2]), ValueError, "food_map must be a two-dimensional array"),
    (lambda w, d: velmora.World(lineage=""), ValueError, "lineage must name a file"),
    (lambda w, d: velmora.World(log=3), TypeError, "^log must be a path \\(str or os.PathLike\\), not int$"),
    (lambda w, d: w.set(plantz=3), TypeError, "^set\\(\\) got an unexpected keyword argument 'plantz'$"),
    (lambda w, d: w.set(animals=3), ValueError, "^animals cannot change during a run$"),
    (lambda w, d: w.update("3"), TypeError, "^n must be an int, not str$"),
    (lambda w, d: w.update(-1), ValueError, "^n=-1: must be a whole number of at least 0$"),
    (lambda w, d: w.run(1.5), TypeError, "^generations must be an int, not float$"),
    (lambda w, d: w.run(1, progress="yes"), TypeError, "^progress must be True or False, not str$"),
    (lambda w, d: velmora.World(animals=0).run(1), ValueError, "the world has no animals, so no generation can end"),
    (lambda w, d: w.generations(-1), ValueError, "^n=-1: must be a whole number of at least 0$"),
    (lambda w, d: w.rewind(150), ValueError, "generation 150 has not happened yet: this run has reached generation 0"),
    (lambda w, d: w.rewind("1"), TypeError, "^generation must be an int, not str$"),
    (lambda w, d: w.genes(2), TypeError, "genes\\(\\) takes no list index"),
    (lambda w, d: w.genes(id=999999), KeyError, "no animal has id 999999"),
    (lambda w, d: w.move(999999, 1, 1), KeyError, "no animal has id 999999"),
    (lambda w, d: w.move(int(w.animals()["id"][0]), "1", 1), TypeError, "^x must be a number, not str$"),
    (lambda w, d: w.move(int(w.animals()["id"][0]), -5, 1), ValueError, "outside the world"),
    (lambda w, d: w.clone("a"), TypeError, "^id must be an int, not str$"),
    (lambda w, d: w.set_genes(int(w.animals()["id"][0]), [1.0]), ValueError, "1 genes do not fit"),
    (lambda w, d: w.set_genes(int(w.animals()["id"][0]), "genes"), TypeError, "genes must be a sequence of numbers, not str"),
    (lambda w, d: w.add_animal([[1.0]], 1, 1), TypeError, "genes must be a one-dimensional sequence"),
    (lambda w, d: w.save(3), TypeError, "^path must be a path \\(str or os.PathLike\\), not int$"),
    (lambda w, d: velmora.World.load(d / "w.dat", layer_width=3), ValueError, "layer_width would change the shape"),
    (lambda w, d: velmora.World.load(d / "bad.dat"), ValueError, "bad\\.dat"),
    (lambda w, d: velmora.World.load(d / "c.npz"), ValueError, "is a checkpoint, not a world file: World.resume opens it"),
    (lambda w, d: velmora.World.resume(d / "w.dat"), ValueError, "is not a checkpoint .*: a world file opens with World.load"),
    (lambda w, d: velmora.World.resume(d / "c.npz", seed=3), ValueError, "seed cannot be given"),
    (lambda w, d: velmora.World.run_file(d / "r.toml", animals=3), ValueError, "a run file holds its own settings"),
    (lambda w, d: velmora.read_lineage(d / "bad.dat"), ValueError, "bad\\.dat, line 1: not a lineage file"),
    (lambda w, d: velmora.read_lineage(d / "bad.csv"), ValueError, "bad\\.csv, line 3: .* does not name two parents"),
]


@pytest.mark.parametrize("call, refused, said", BAD_CALLS)
def test_a_bad_call_raises_the_exception_of_its_kind_and_changes_nothing(tmp_path, call, refused, said):
    folder = _files(tmp_path)
    world = velmora.World(seed=1)
    before = world.animals()
    with pytest.raises(refused) as error:
        call(world, folder)
    message = error.value.args[0] if isinstance(error.value, KeyError) else str(error.value)
    assert re.search(said, message), message
    assert world.generation == 0 and world.update_count == 0
    for name, column in before.items():
        np.testing.assert_array_equal(world.animals()[name], column, err_msg=name)


@pytest.mark.parametrize("call, refused", [
    (lambda d: velmora.World.load(d / "missing.dat"), FileNotFoundError),
    (lambda d: velmora.World.resume(d / "missing.npz"), FileNotFoundError),
    (lambda d: velmora.World.run_file(d / "missing.toml"), FileNotFoundError),
    (lambda d: velmora.World(seed=1).save(d / "no" / "w.dat"), FileNotFoundError),
    (lambda d: velmora.World(seed=1).checkpoint(d / "no" / "c.npz"), FileNotFoundError),
    (lambda d: velmora.World(log=d / "no" / "x.log"), FileNotFoundError),
    (lambda d: velmora.World(lineage=d / "no" / "l.csv"), FileNotFoundError),
    (lambda d: velmora.World(log=d), IsADirectoryError),
    (lambda d: velmora.read_lineage(d / "missing.csv"), FileNotFoundError),
])
def test_a_file_the_system_refuses_is_an_os_error_with_its_errno_and_name(tmp_path, call, refused):
    with pytest.raises(refused) as error:
        call(tmp_path)
    assert error.value.errno == {FileNotFoundError: errno.ENOENT, IsADirectoryError: errno.EISDIR}[refused]
    assert error.value.filename.startswith(str(tmp_path)) and str(tmp_path) in str(error.value)


def test_the_sweep_example_averages_its_runs(tmp_path):
    example = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "sweep.py")
    printed = subprocess.run([sys.executable, example, "--seeds", "2", "--generations", "2",
                              "--animals", "30", "--plants", "30", "--plot", str(tmp_path / "s.png")],
                             capture_output=True, text=True, check=True).stdout.splitlines()
    assert printed[0] == "generation,mean_food_per_animal,min,max"
    assert (tmp_path / "s.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"  # matplotlib is installed with the module's tests
    runs = []
    for seed in (1, 2):
        world = velmora.World(seed=seed, animals=30, plants=30, width=22, height=22)
        world.run(generations=2)
        runs.append(world.history()["food_per_animal"])
    for generation, row in enumerate(printed[1:3]):
        values = [runs[0][generation], runs[1][generation]]
        assert row == f"{generation},{np.mean(values):.6f},{min(values):.6f},{max(values):.6f}"


def test_copy_set_and_save_run_branch_as_the_command_line_does(tmp_path):
    world = velmora.World(seed=9, generation_length=100)
    world.update(250)
    world.checkpoint(str(tmp_path / "g2.npz"))
    copy = world.copy()
    for w in (world, copy):
        w.update(120)
    np.testing.assert_array_equal(world.animals()["x"], copy.animals()["x"])  # alike, the two stay the same
    branch = velmora.World.resume(str(tmp_path / "g2.npz"))
    branch.set(plants=7, mutate_amount=2.5)
    resumed = velmora.World.resume(str(tmp_path / "g2.npz"), plants=7, mutate_amount=2.5)
    for w in (branch, resumed):
        w.run(generations=3)
    np.testing.assert_array_equal(branch.animals()["x"], resumed.animals()["x"])
    branch.save_run(str(tmp_path / "branch.toml"))
    assert "plants = 7" in open(tmp_path / "branch.toml").read() and 'file = "g2.npz"' in open(tmp_path / "branch.toml").read()
    replayed = velmora.World.run_file(str(tmp_path / "branch.toml"))
    replayed.run(generations=3)
    np.testing.assert_array_equal(branch.animals()["x"], replayed.animals()["x"])
    for wrap in (False, True):
        velmora.World(seed=9, wrap=wrap).save_run(str(tmp_path / "wrap.toml"))
        assert ("wrap = true" in open(tmp_path / "wrap.toml").read()) == wrap
    for bad, refused in ((dict(animals=3), ValueError), (dict(plants=-1), ValueError), (dict(plants=1.5), TypeError),
                         (dict(wrap=2), TypeError), (dict(plants=True), TypeError), (dict(plantz=3), TypeError)):
        with pytest.raises(refused):
            branch.set(**bad)
    with pytest.raises(OSError, match="missing.toml"):
        velmora.World.load_run(str(tmp_path / "missing.toml"))


@pytest.mark.parametrize("keyframes", [64, 0.05, 0])
def test_rewind_replays_the_run_and_branches_as_a_resume_would(tmp_path, keyframes):
    world = velmora.World(seed=4, generation_length=60, keyframes=keyframes)
    at = {}
    for g in range(9):
        at[g] = world.animals()["x"].copy()
        if g == 3:
            world.checkpoint(str(tmp_path / "g3.npz"))
        world.run(generations=1)
    end = world.animals()["x"].copy()
    for g in (3, 7, 0, 3):
        world.rewind(g)
        assert world.generation == g and len(world.history()["food"]) == g
        np.testing.assert_array_equal(world.animals()["x"], at[g])
    world.run(generations=6)
    assert world.generation == 9
    np.testing.assert_array_equal(world.animals()["x"], end)  # forward again: the same run
    world.rewind(3)
    world.set(plants=5)  # a branch from generation 3
    world.run(generations=2)
    resumed = velmora.World.resume(str(tmp_path / "g3.npz"), plants=5)
    resumed.run(generations=2)
    np.testing.assert_array_equal(world.animals()["x"], resumed.animals()["x"])
    world.save_run(str(tmp_path / "branch.toml"))
    replayed = velmora.World.run_file(str(tmp_path / "branch.toml"))
    replayed.run(generations=5)
    np.testing.assert_array_equal(world.animals()["x"], replayed.animals()["x"])
    with pytest.raises(ValueError, match="before this run's start"):
        resumed.rewind(2)
    with pytest.raises(ValueError, match="keyframes"):
        velmora.World(keyframes=-1)


def test_a_food_map_seasons_and_a_schedule_run_and_replay_from_the_run_file(tmp_path):
    food = np.zeros((2, 4))
    food[:, 2:] = [[1.0, 3.0], [1.0, 3.0]]  # the left half black
    settings = dict(seed=5, generation_length=40, food_map=food, seasons=dict(period=4, low=3, high=9, shape="square"),
                    schedule=[{"generation": 2, "mutate_amount": 1.5}, {"generation": 3, "update": 7, "wrap": True}])
    world = velmora.World(**settings)
    counts = []
    for g in range(6):
        world.update(1)
        counts.append(len(world.plants()["x"]))
        world.run(generations=1)
    assert counts == [9, 9, 3, 3, 9, 9]
    assert world.plants()["x"].min() >= world.size[0] / 2
    assert list(world.history()["plants"][:6]) == counts
    world.save_run(str(tmp_path / "env.toml"))
    text = open(tmp_path / "env.toml").read()
    assert "[seasons]" in text and 'file = "env.food-map.npy"' in text and "wrap = true" in text
    replayed = velmora.World.run_file(str(tmp_path / "env.toml"))
    replayed.run(generations=6)
    np.testing.assert_array_equal(world.plants()["x"], replayed.plants()["x"])
    np.testing.assert_array_equal(world.animals()["x"], replayed.animals()["x"])
    for bad in (dict(food_map=np.zeros((2, 2))), dict(food_map=np.ones(3)), dict(seasons=dict(period=1, low=0, high=2)),
                dict(seasons=dict(period=4, low=0, high=2), schedule=[{"generation": 2, "plants": 4}]),
                dict(schedule=[{"generation": 4, "plants": 4}, {"generation": 2, "plants": 5}]),
                dict(schedule=[{"generation": 2, "animals": 4}]), dict(schedule=[{"generation": -1, "plants": 4}]),
                dict(schedule=[{"generation": 2, "update": -1, "plants": 4}])):
        with pytest.raises(ValueError):
            velmora.World(**bad)


def test_edits_by_hand_replay_from_the_run_file_and_bad_ones_change_nothing(tmp_path):
    world = velmora.World(seed=6, generation_length=50)
    world.update(30)
    ids = world.animals()["id"]
    world.move(int(ids[3]), 2.5, 7.5)
    made = world.clone(int(ids[3]))
    assert made == max(world.animals()["id"]) and len(world) == 21
    world.remove(int(ids[0]))
    world.update(70)
    genes = world.genes()[0]
    founder = world.add_animal(genes=genes * 0.5, x=5.0, y=5.0, heading=1.0)
    world.set_genes(founder, genes)
    world.add_plant(1.0, 1.0)
    world.remove_plants(6.0, 0.0, 10.0, 10.0)
    assert (world.plants()["x"] < 6.0).all()
    before = world.animals()["x"].copy()
    for call, error in ((lambda: world.move(999999, 1.0, 1.0), KeyError), (lambda: world.move(made, 11.0, 1.0), ValueError),
                        (lambda: world.set_genes(made, genes[:-1]), ValueError), (lambda: world.clone(999999), KeyError),
                        (lambda: world.add_animal(genes=[float("nan")] * len(genes), x=1.0, y=1.0), ValueError),
                        (lambda: world.add_plant(-1.0, 2.0), ValueError)):
        with pytest.raises(error):
            call()
    np.testing.assert_array_equal(world.animals()["x"], before)
    world.run(generations=2)
    world.save_run(str(tmp_path / "edits.toml"))
    world.save(str(tmp_path / "edited.dat"))
    text = open(tmp_path / "edits.toml").read()
    assert 'action = "clone"' in text and 'action = "add_founder"' in text and "genes = [" in text
    replay = run_program(tmp_path, "--headless", "--run", "edits.toml", "--generations", str(world.generation), "--no-log",
                         "--quiet", "--save", "replayed.dat")
    assert replay.returncode == 0, replay.stderr
    assert open(tmp_path / "replayed.dat").read() == open(tmp_path / "edited.dat").read()


def other_value(name, value):
    """A value of the setting unlike its default, within its range."""
    if isinstance(value, bool):
        return not value
    if isinstance(value, str):
        return {"exact": "system", "system": "exact"}[value]
    if name == "mutate_rate":
        return 0.25
    return value + 3 if isinstance(value, int) else value * 1.5


def test_every_setting_reads_back_as_given_and_through_a_checkpoint(tmp_path):
    defaults = velmora.World(seed=4).settings
    assert defaults["mutate_amount"] == 5.0 and defaults["wrap"] is False and "mutate_rate" in defaults
    for name, value in defaults.items():
        given = other_value(name, value)
        world = velmora.World(seed=4, **{name: given})
        assert world.settings[name] == given, name
        assert world.seed == 4
        world.run(generations=1)
        world.checkpoint(tmp_path / "kept.npz")
        resumed = velmora.World.resume(tmp_path / "kept.npz")
        assert resumed.settings == world.settings, name
        assert resumed.seed == 4, name


def test_the_settings_that_may_change_are_set_by_keyword(tmp_path):
    world = velmora.World(seed=2, generation_length=50)
    world.set(mutate_rate=0.0, mutate_amount=1.5, wrap=True)
    assert world.settings["mutate_rate"] == 0.0 and world.settings["wrap"] is True
    world.save_run(tmp_path / "set.toml")
    text = open(tmp_path / "set.toml").read()
    assert "mutate-rate = 0.0" in text and "mutate-amount = 1.5" in text
    with pytest.raises(ValueError, match="animals cannot change during a run"):
        world.set(animals=3)
    with pytest.raises(TypeError, match="unexpected keyword argument 'plantz'"):
        world.set(plantz=3)
    with pytest.raises(TypeError, match="unexpected keyword argument 'anmals'"):
        velmora.World(anmals=20)


@pytest.mark.parametrize("log, refused", [("/nonexistent/x.log", FileNotFoundError), ("/tmp", IsADirectoryError)])
def test_a_log_that_cannot_be_written_raises_when_the_world_is_made(log, refused):
    with pytest.raises(refused) as error:
        velmora.World(seed=1, log=log)
    assert error.value.filename == log and error.value.errno is not None


def test_a_log_that_fails_during_a_run_raises_and_the_interpreter_lives_on(tmp_path):
    folder = tmp_path / "logs"
    folder.mkdir()
    world = velmora.World(seed=1, generation_length=20, log=folder / "run.log")
    world.run(generations=1)
    (folder / "run.log").unlink()
    folder.rmdir()
    with pytest.raises(FileNotFoundError):
        world.run(generations=1)
    assert world.generation == 2


def test_a_scheduled_change_past_its_generations_end_is_refused():
    with pytest.raises(ValueError, match=r"schedule: the change at generation 2, update 600 lies past the end of its "
                                         r"generation, which is 500 updates long"):
        velmora.World(seed=1, schedule=[{"generation": 2, "update": 600, "plants": 3}])
    with pytest.raises(ValueError, match="which is 20 updates long"):
        velmora.World(seed=1, schedule=[{"generation": 1, "generation_length": 20}, {"generation": 1, "update": 30, "plants": 3}])


def test_replicates_differ_rewinds_stay_in_the_past_and_copies_and_closing_work(tmp_path):
    made = [velmora.World(animals=10, plants=10, generation_length=20) for _ in range(3)]
    assert len({w.seed for w in made}) == 3  # fresh seeds, not the clock's
    again = velmora.World(seed=made[0].seed, animals=10, plants=10, generation_length=20)
    for w in (made[0], again):
        w.run(generations=2)
    np.testing.assert_array_equal(made[0].animals()["x"], again.animals()["x"])  # the seed read back replays the run
    assert repr(again) == f"<velmora.World seed={again.seed}, generation 2, update 0, 10 animals, {len(again.plants()['x'])} plants>"
    with pytest.raises(ValueError, match="generation 150 has not happened yet: this run has reached generation 2"):
        again.rewind(150)
    assert again.generation == 2
    again.rewind(1)
    again.rewind(2)  # forward again as far as it has been
    for copier in (copy.copy, copy.deepcopy):
        twin = copier(again)
        for w in (twin, again):
            w.run(generations=1)
        np.testing.assert_array_equal(twin.animals()["x"], again.animals()["x"])
    again.checkpoint(tmp_path / "c.npz")
    resumed = velmora.World.resume(tmp_path / "c.npz")
    resumed.save_run(tmp_path / "r.toml")
    assert f"seed = {again.seed}" in (tmp_path / "r.toml").read_text()  # the checkpoint's seed, not the clock's
    log = tmp_path / "w.log"
    with velmora.World(seed=3, generation_length=10, log=log) as world:
        world.run(generations=1)
    lines = log.read_text()
    world.run(generations=1)  # closed: it runs on, writing no more
    assert log.read_text() == lines and lines.count("\n") == 1


def _one_generation_on(world):
    world.run(generations=1)
    return world


def test_a_world_pickled_through_a_process_pool_runs_on_as_the_one_that_stayed(tmp_path):
    import multiprocessing
    import pickle
    from concurrent.futures import ProcessPoolExecutor

    world = velmora.World(seed=8, animals=12, plants=12, generation_length=25)
    world.run(generations=2)
    world.set(plants=9)
    stayed = pickle.loads(pickle.dumps(world))
    assert (stayed.seed, stayed.generation, stayed.settings) == (world.seed, world.generation, world.settings)
    with ProcessPoolExecutor(1, mp_context=multiprocessing.get_context("fork")) as pool:
        back = pool.submit(_one_generation_on, world).result()
    world.run(generations=1)
    np.testing.assert_array_equal(back.animals()["x"], world.animals()["x"])
    np.testing.assert_array_equal(back.history()["food"], world.history()["food"])
    # Its run begins where it was last pickled: it rewinds to there, and its run file replays from there.
    back.run(generations=1)
    world.run(generations=1)
    back.rewind(3)
    with pytest.raises(ValueError, match="before this run's start at generation 3"):
        back.rewind(2)
    back.run(generations=1)
    np.testing.assert_array_equal(back.animals()["x"], world.animals()["x"])
    back.save_run(tmp_path / "back.toml")
    assert (tmp_path / "back.start.npz").exists()
    replayed = velmora.World.run_file(tmp_path / "back.toml")
    replayed.run(generations=1)
    np.testing.assert_array_equal(replayed.animals()["x"], world.animals()["x"])
    with pytest.raises(ValueError, match="not the state of a velmora.World"):
        velmora.World.__new__(velmora.World).__setstate__((2, b"", [], 0, True))


def test_console_lines_go_through_sys_stdout_and_a_quiet_refusal_is_only_its_exception(tmp_path, capfd):
    import contextlib
    import io

    caught = io.StringIO()
    with contextlib.redirect_stdout(caught):
        world = velmora.World(seed=1, generation_length=20, quiet=False)
        world.run(generations=2)
    assert caught.getvalue().count("Gen:") == 2
    (tmp_path / "bad.toml").write_text("format = 1\nseed = -3\n")
    quiet = io.StringIO()
    with contextlib.redirect_stdout(quiet), pytest.raises(ValueError):
        velmora.World.run_file(tmp_path / "bad.toml")
    assert quiet.getvalue() == ""
    assert capfd.readouterr().out == ""  # nothing past Python to the C library's standard output


def test_tables_of_animals_ranking_and_neurons(tmp_path):
    import pandas

    world = velmora.World(seed=4, animals=16, plants=20, generation_length=60)
    assert len(world.ranking()["id"]) == 0  # no generation has ended yet
    world.run(generations=3)
    table = pandas.DataFrame(world.animals())
    assert list(table["id"]) == list(world.animals()["id"]) and len(table) == 16
    ranking = pandas.DataFrame(world.ranking())
    assert len(ranking) == 16 and ranking["fitness"].iloc[0] == 1.0
    assert list(ranking["fitness"]) == sorted(ranking["fitness"], reverse=True)
    np.testing.assert_array_equal(ranking["food"] / ranking["food"].max(), ranking["fitness"])
    assert ranking["food"].sum() == world.history()["food"][-1]  # the finished generation's scores, kept past breeding
    outputs = world.neurons()
    assert outputs.shape == (16, 18) and np.all(np.abs(outputs) <= 1.0)
    assert world.genes().shape[0] == 16


# A long call in a process of its own, Ctrl+C sent to it 0.35 s in; prints how long the call took to stop
# and whether the world it left is whole: a state of its own run (or, for a rewind, the state it left).
INTERRUPTED = r"""
import json, os, signal, sys, threading, time
import numpy as np, velmora
mode, folder = sys.argv[1], sys.argv[2]
settings = dict(seed=5, animals=400, plants=400, width=40, height=40, generation_length=50, threads=1)
if mode == "replay":
    velmora.World(**settings, schedule=[{"generation": 2, "plants": 200}]).save_run(folder + "/r.toml")
fresh = lambda: velmora.World.run_file(folder + "/r.toml", threads=1) if mode == "replay" else velmora.World(**settings, keyframes=0)
world = fresh()
if mode == "rewind":
    world.run(48)
state = lambda w: [w.generation, w.update_count] + [c.tolist() for c in (*w.animals().values(), *w.plants().values())]
before = state(world)
calls = {"run": lambda: world.run(10**6), "update": lambda: world.update(10**9), "replay": lambda: world.run(10**6),
         "rewind": lambda: world.rewind(47)}
sent = []
def interrupt():
    time.sleep(0.35)
    sent.append(time.monotonic())
    os.kill(os.getpid(), signal.SIGINT)
threading.Thread(target=interrupt).start()
try:
    calls[mode]()
    sys.exit("the call ended before Ctrl+C")
except KeyboardInterrupt:
    stopped = time.monotonic() - sent[0]
if mode == "rewind":
    whole = state(world) == before
else:
    reference = fresh()
    reference.update(world.generation * 50 + world.update_count)
    whole = state(reference) == state(world) and world.generation > 0
    for w in (world, reference):
        w.run(1)
    whole = whole and state(reference) == state(world)
print(json.dumps({"stopped": stopped, "whole": whole}))
"""


@pytest.mark.parametrize("mode", ["run", "update", "replay", "rewind"])
def test_ctrl_c_stops_a_long_call_at_once_and_leaves_the_world_whole(tmp_path, mode):
    child = subprocess.run([sys.executable, "-c", INTERRUPTED, mode, str(tmp_path)], capture_output=True, text=True, timeout=120)
    assert child.returncode == 0, child.stderr
    said = json.loads(child.stdout)
    assert said["whole"] and said["stopped"] < 1.0, said


def test_a_lineage_from_python_is_the_command_lines_and_reads_as_arrays(tmp_path):
    program = run_program(tmp_path, "--headless", "--generations", "3", "--lineage", "cli.csv", *command_line(SETTINGS))
    assert program.returncode == 0, program.stderr
    with velmora.World(**SETTINGS, lineage=tmp_path / "py.csv") as world:
        world.run(3)
        living = world.animals()
    assert (tmp_path / "py.csv").read_text() == (tmp_path / "cli.csv").read_text()
    lineage = velmora.read_lineage(tmp_path / "py.csv")
    ids = lineage["id"]
    assert len(set(ids.tolist())) == len(ids)
    alive = lineage["destruction_time"] == -1
    assert sorted(ids[alive].tolist()) == sorted(living["id"].tolist())
    founders = lineage["parent_a"] == 0
    assert np.all(lineage["origin_time"][founders] == 0) and np.all(lineage["parent_b"][~founders] > 0)
    assert np.all(lineage["destruction_time"][~alive] >= lineage["origin_time"][~alive])
    parents = set(lineage["parent_a"][~founders].tolist()) | set(lineage["parent_b"][~founders].tolist())
    assert parents <= set(ids.tolist())  # every parent has its own row


def test_generations_yield_the_history_as_it_grows_and_progress_shows_a_bar(capsys):
    world = velmora.World(seed=2, generation_length=40)
    rows = []
    for row in world.generations(5):
        rows.append(row)
        if len(rows) == 3:
            break  # stops there
    assert world.generation == 3
    history = world.history()
    for k, row in enumerate(rows):
        assert row == {name: column[k].item() for name, column in history.items()}
    world.run(2, progress=True)
    assert world.generation == 5 and "2/2" in capsys.readouterr().err
    same = velmora.World(seed=2, generation_length=40)
    same.run(5)
    np.testing.assert_array_equal(same.animals()["x"], world.animals()["x"])


def test_a_world_file_keeping_less_than_the_world_warns(tmp_path, capfd):
    world = velmora.World(seed=1, seasons=dict(period=4, low=2, high=10))
    with pytest.warns(UserWarning, match="A world file keeps no seasons, food map or changes to come"):
        world.save(tmp_path / "w.dat")
    assert capfd.readouterr().out == ""  # quiet: the warning alone
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        velmora.World(seed=1).save(tmp_path / "plain.dat")  # nothing to warn of
        with pytest.raises(UserWarning):
            world.save(tmp_path / "w.dat")


def test_every_call_has_a_signature_and_a_numpy_docstring():
    parameters = inspect.signature(velmora.World).parameters
    assert set(velmora.World(seed=1).settings) | {"seed"} <= set(parameters)
    assert all(p.kind is inspect.Parameter.KEYWORD_ONLY for p in parameters.values())
    assert {name: parameters[name].default for name in ("seed", "animals", "quiet", "math")} == \
        dict(seed=None, animals=20, quiet=True, math="exact")
    for name in ("Parameters", "seed : int, optional", "mutate_amount : float", "wrap : bool", "Raises"):
        assert name in velmora.World.__init__.__doc__
    for name, member in vars(velmora.World).items():
        if name.startswith("_") or isinstance(member, property) or not callable(getattr(velmora.World, name)):
            continue
        call = getattr(velmora.World, name)
        inspect.signature(call)
        assert re.search(r"\n(Parameters|Returns|Yields|Raises)\n-+\n", inspect.getdoc(call) or ""), name
    assert list(inspect.signature(velmora.World.run).parameters) == ["self", "generations", "progress"]
