#!/usr/bin/env python3
"""A seed sweep: the same world under several seeds, run side by side in threads.

Prints each generation's mean food per animal across the seeds, and draws every
seed's curve into a PNG when matplotlib is installed.

    python3 examples/sweep.py --seeds 8 --generations 30 --plot sweep.png
"""
import argparse
import concurrent.futures
import os

import numpy as np

import velmora


def run(seed, generations, settings):
    world = velmora.World(seed=seed, **settings)
    world.run(generations=generations)
    return seed, world.history()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seeds", type=int, default=8, help="seeds 1 .. N (default 8)")
    parser.add_argument("--generations", type=int, default=30, help="generations per run (default 30)")
    parser.add_argument("--animals", type=int, default=100)
    parser.add_argument("--plants", type=int, default=100)
    parser.add_argument("--size", type=float, default=22.0, help="width and height of the world")
    parser.add_argument("--jobs", type=int, default=os.cpu_count(), help="runs at once (default: the processors)")
    parser.add_argument("--plot", default="sweep.png", help="the chart's file (default sweep.png)")
    args = parser.parse_args()

    # Each world's updates leave the interpreter free, so threads run them at once;
    # one thread per world keeps each run exactly the command line's.
    settings = dict(animals=args.animals, plants=args.plants, width=args.size, height=args.size, threads=1)
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        runs = dict(pool.map(lambda seed: run(seed, args.generations, settings), range(1, args.seeds + 1)))

    food = np.array([runs[seed]["food_per_animal"] for seed in sorted(runs)])
    print("generation,mean_food_per_animal,min,max")
    for generation in range(food.shape[1]):
        column = food[:, generation]
        print(f"{generation},{column.mean():.6f},{column.min():.6f},{column.max():.6f}")

    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no chart")
        return
    figure, axes = plt.subplots(figsize=(8, 5))
    for seed in sorted(runs):
        axes.plot(runs[seed]["generation"], runs[seed]["food_per_animal"], alpha=0.4, label=f"seed {seed}")
    axes.plot(range(food.shape[1]), food.mean(axis=0), color="black", linewidth=2, label="mean")
    axes.set_xlabel("generation")
    axes.set_ylabel("food per animal")
    axes.legend(fontsize="small", ncol=2)
    figure.savefig(args.plot, dpi=100)
    print(f"chart written to {args.plot}")


if __name__ == "__main__":
    main()
