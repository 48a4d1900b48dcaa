#!/usr/bin/env python3
"""The first standing wave of the sloshing tank at depths from a tenth of its
width to its whole width: its period against linear theory's
2 pi / sqrt(g k tanh(k h)), k = pi / L.

    PYTHONPATH=build/release/python python3 examples/sloshing.py sloshing.png

Each depth is one run of the shipped tank (1 wide, 64 cells across), made
tall enough for the depth and a wave above it, its liquid moving to the
right at the start at 3 % of sqrt(g h), which sloshes it mostly in its first
mode and gently enough for linear theory. The
surface's height at the left wall is sampled every tick; the period is the
mean time between its upward crossings of its mean. The runs go to local
processes, or, given --scheduler, to the workers of a Dask cluster.
"""

import argparse
import math

import flowbox

WIDTH = 1.0
CELL = 1.0 / 64
GRAVITY = 9.81
PERIODS = 8    # sampled, from the start
SPEED = 0.03   # of sqrt(g h), the liquid's speed at the start


def scene_at(depth):
    """The tank with its liquid `depth` deep and room above it for the wave."""
    rows = math.ceil((depth + 0.25) / CELL)
    height = rows * CELL
    return {
        "grid.cells": [64, rows],
        "liquid[0].rectangle.from": [0.0, height - depth],
        "liquid[0].rectangle.to": [WIDTH, height],
        # A small wave, linear theory's: the liquid moving at 3 % of the shallow-water wave speed.
        "liquid[0].velocity": [SPEED * math.sqrt(GRAVITY * depth), 0.0],
    }


def theory(depth):
    k = math.pi / WIDTH
    return 2.0 * math.pi / math.sqrt(GRAVITY * k * math.tanh(k * depth))


def period(run):
    """The surface at the left wall, a tick at a time, over PERIODS of the
    theory's period for the run's depth: the mean time between its upward
    crossings of its mean."""
    depth = run.liquid_area / WIDTH
    heights = []
    for _ in range(round(PERIODS * theory(depth) / run.scene.time_step)):
        run.step(1)
        heights.append(run.surface_height(0.5 * CELL))
    mean = sum(heights) / len(heights)
    spread = math.sqrt(sum((h - mean) ** 2 for h in heights) / len(heights))
    # An upward crossing counts once the surface has been well below its
    # mean since the last: the particles' jitter makes no crossings of its own.
    ups, below = [], False
    for k in range(1, len(heights)):
        below = below or heights[k] < mean - 0.5 * spread
        if below and heights[k - 1] < mean <= heights[k]:
            ups.append(k - (heights[k] - mean) / (heights[k] - heights[k - 1]))
            below = False
    if len(ups) < 2:
        return {"depth": depth, "period": float("nan")}
    return {"depth": depth, "period": (ups[-1] - ups[0]) / (len(ups) - 1) * run.scene.time_step}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("picture", help="the PNG to draw")
    parser.add_argument("--scheduler", help="a Dask scheduler's address, as tcp://host:8786")
    options = parser.parse_args()

    depths = [0.1, 0.15, 0.2, 0.3, 0.4, 0.5, 0.7, 1.0]
    client = None
    if options.scheduler:
        from distributed import Client

        client = Client(options.scheduler)
    # period() steps each run itself, sampling the surface as it goes.
    measured = flowbox.sweep(flowbox.Scene("sloshing"), [scene_at(h) for h in depths], ticks=0, measure=period,
                             client=client)
    for result in measured:
        expected = theory(result["depth"])
        print(f"h/L {result['depth']:.3f}: period {result['period']:.4f} against {expected:.4f}"
              f" ({100 * (result['period'] / expected - 1):+.2f} %)")
    draw(measured, options.picture)


def draw(measured, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    depths = [m["depth"] for m in measured]
    curve = [0.05 + 0.01 * k for k in range(100)]
    figure, axes = plt.subplots(figsize=(6, 3.6), constrained_layout=True)
    axes.plot(curve, [theory(h) for h in curve], "-", color="tab:gray", label="linear theory")
    axes.plot(depths, [m["period"] for m in measured], "o", label="flowbox, 64 cells across")
    axes.set_xlabel("depth / width")
    axes.set_ylabel("period of the first mode")
    axes.legend()
    figure.suptitle("The sloshing tank's first standing wave against its depth")
    figure.savefig(path, dpi=110)


if __name__ == "__main__":
    main()
