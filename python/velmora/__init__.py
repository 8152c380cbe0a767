"""Velmora worlds from Python: animals with neural networks evolve in a world of plants.

A World runs exactly as the velmora command line does: the same seed and settings give the
same run, byte for byte. Several worlds may live in one process; their updates release the
interpreter's lock, so Python threads can run them side by side, and a World pickles, so
processes can too.
"""

from __future__ import annotations

import csv
import os
import typing
import warnings
from typing import Dict, Union

import numpy as np

from ._velmora import World, __version__

__all__ = ["World", "read_lineage", "__version__"]


def _whole(value: object, name: str) -> int:
    if not isinstance(value, int) or isinstance(value, bool):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if value < 0:
        raise ValueError(f"{name}={value}: must be a whole number of at least 0")
    return value


def _run(self: World, generations: int, *, progress: bool = False) -> None:
    """Runs until this many more generations have ended.

    Parameters
    ----------
    generations : int
    progress : bool
        Shows a progress bar on sys.stderr (with tqdm, when it is installed).

    Raises
    ------
    TypeError
        generations not an int, or progress not a bool.
    ValueError
        A negative count, or a world with no animals, where no generation can end.
    KeyboardInterrupt
        Ctrl+C: it stops between two updates, the world whole and still exact.
    OSError
        The log or lineage file cannot be written.
    """
    if not isinstance(progress, bool):
        raise TypeError(f"progress must be True or False, not {type(progress).__name__}")
    if not progress:
        self._run(generations)
        return
    _whole(generations, "generations")
    try:
        from tqdm import tqdm  # type: ignore[import]
    except ImportError:
        warnings.warn("progress=True shows a bar with tqdm, which is not installed", stacklevel=2)
        self._run(generations)
        return
    with tqdm(total=generations, unit="generation") as bar:
        for _ in _generations(self, generations):
            bar.update(1)


def _generations(self: World, n: int) -> typing.Iterator[Dict[str, Union[int, float]]]:
    """Runs n more generations, one at a time, yielding each one's history row as it ends.

    ``for row in world.generations(100): print(row["best_food"])``; a break stops it there.

    Parameters
    ----------
    n : int

    Yields
    ------
    dict
        The generation's row of history(): generation, food, wall, ..., as Python numbers.

    Raises
    ------
    ValueError
        A negative count, or a world with no animals.
    KeyboardInterrupt
        Ctrl+C: it stops between two updates, the world whole.
    """
    _whole(n, "n")
    if n > 0 and len(self) == 0:
        raise ValueError("the world has no animals, so no generation can end")

    def rows() -> typing.Iterator[Dict[str, Union[int, float]]]:
        for _ in range(n):
            self._run(1)
            yield {key: column[0].item() for key, column in self._history_from(-1).items()}

    return rows()


_run.__name__ = "run"
_run.__qualname__ = "World.run"
_generations.__name__ = "generations"
_generations.__qualname__ = "World.generations"
World.run = _run  # type: ignore[assignment]
World.generations = _generations  # type: ignore[assignment]


def read_lineage(path: Union[str, "os.PathLike[str]"]) -> Dict[str, np.ndarray]:
    """Reads a lineage file, as World(lineage=...) and velmora --lineage write them.

    Parameters
    ----------
    path : str or os.PathLike

    Returns
    -------
    dict of numpy.ndarray
        One row per animal: id; parent_a and parent_b (0 for a founder); imported (the id an
        animal brought from an animal file had in its world, else 0); origin_time (the
        generation it was born in); destruction_time (the generation its life ended with,
        -1 for the living).

    Raises
    ------
    FileNotFoundError, PermissionError, OSError
        The file cannot be read.
    ValueError
        It is not a lineage file; the message names the line.
    """
    path = os.fspath(path)
    columns: Dict[str, list] = {name: [] for name in ("id", "parent_a", "parent_b", "imported", "origin_time", "destruction_time")}
    with open(path, newline="", encoding="utf-8") as file:
        rows = csv.reader(file)
        header = next(rows, None)
        if header != ["id", "ancestor_list", "origin_time", "destruction_time"]:
            raise ValueError(f"{path}, line 1: not a lineage file (its header is not id,ancestor_list,origin_time,destruction_time)")
        for number, row in enumerate(rows, start=2):
            try:
                if len(row) != 4:
                    raise ValueError(f"{len(row)} fields instead of 4")
                animal, ancestors, born, ended = row
                parents = [0, 0]
                imported = 0
                if ancestors.startswith("[IMPORTED ") and ancestors.endswith("]"):
                    imported = int(ancestors[10:-1])
                elif ancestors != "[NONE]":
                    if not (ancestors.startswith("[") and ancestors.endswith("]")):
                        raise ValueError(f"the ancestor list {ancestors!r} is not [NONE], [IMPORTED id] or [a,b]")
                    parents = [int(part) for part in ancestors[1:-1].split(",")]
                    if len(parents) != 2:
                        raise ValueError(f"the ancestor list {ancestors!r} does not name two parents")
                values = (int(animal), parents[0], parents[1], imported, int(born), int(ended) if ended else -1)
            except ValueError as problem:
                raise ValueError(f"{path}, line {number}: {problem}") from None
            for name, value in zip(columns, values):
                columns[name].append(value)
    types = {"id": np.uint64, "parent_a": np.uint64, "parent_b": np.uint64, "imported": np.uint64,
             "origin_time": np.int64, "destruction_time": np.int64}
    return {name: np.array(values, dtype=types[name]) for name, values in columns.items()}
