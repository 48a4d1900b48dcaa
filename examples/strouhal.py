#!/usr/bin/env python3
"""The cylinder of the 2D-2 benchmark at Reynolds numbers from 60 to 200: the
Strouhal number of its vortex street and its mean drag against Re.

    PYTHONPATH=build/release/python python3 examples/strouhal.py strouhal.png

Each Reynolds number is one run of the shipped scene with its inflow (and
time step) scaled, coarsened to 10 cells across the disc so that the sweep
takes a minute or two. The runs go to local processes, or, given
--scheduler, to the workers of a Dask cluster: that address is all that
changes between a laptop and a cluster of many machines.
"""

import argparse
import tomllib

import flowbox

DIAMETER = 0.1
VISCOSITY = 0.001
SETTLE = 15.0  # time for the street to form
SAMPLE = 6.0   # time over which it is measured


def scene_at(reynolds):
    """cylinder-re100 at 10 cells across the disc, its peak inflow for a mean speed of Re * nu / D."""
    mean = reynolds * VISCOSITY / DIAMETER
    step = 0.004 / mean  # 0.6 cells a tick at the peak speed
    return {
        "grid.cells": [220, 41],
        "grid.cell_size": 0.01,
        "solid[0].disc.centre": [20.0, 21.0],
        "solid[0].disc.radius": 5.0,
        "inflow[0].cells": [0, 40],
        "outlet[0].cells": [0, 40],
        "inflow[0].speed": 1.5 * mean,
        "time.step": step,
    }


def street(run):
    """Lets the street form, then steps on for SAMPLE and measures it: the
    Strouhal number from the lift's upward zero crossings, the mean drag
    coefficient over whole periods."""
    run.step(round(SETTLE / run.scene.time_step))
    mean = 2.0 / 3.0 * tomllib.loads(run.scene.toml)["inflow"][0]["speed"]
    scale = 2.0 / (mean * mean * DIAMETER)  # the fluid's density is 1
    lift, drag = [], []
    for _ in range(round(SAMPLE / run.scene.time_step)):
        run.step(1)
        fx, fy = run.forces[0]
        drag.append(scale * fx)
        lift.append(-scale * fy)  # up the channel
    ups = [k - lift[k] / (lift[k] - lift[k - 1]) for k in range(1, len(lift)) if lift[k - 1] < 0.0 <= lift[k]]
    if len(ups) < 3:
        return {"strouhal": float("nan"), "drag": sum(drag) / len(drag)}
    period = (ups[-1] - ups[0]) / (len(ups) - 1) * run.scene.time_step
    whole = drag[int(ups[0]):int(ups[-1])]
    return {"strouhal": DIAMETER / (period * mean), "drag": sum(whole) / len(whole)}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("picture", help="the PNG to draw")
    parser.add_argument("--scheduler", help="a Dask scheduler's address, as tcp://host:8786")
    options = parser.parse_args()

    reynolds = [60, 80, 100, 120, 150, 200]
    values = [scene_at(re) for re in reynolds]
    client = None
    if options.scheduler:
        from distributed import Client

        client = Client(options.scheduler)
    # Each run's ticks depend on its step: street() steps it.
    measured = flowbox.sweep(flowbox.Scene("cylinder-re100"), values, ticks=0, measure=street, client=client)
    for re, result in zip(reynolds, measured):
        print(f"Re {re:4d}: St {result['strouhal']:.4f}, mean c_D {result['drag']:.4f}")
    draw(reynolds, measured, options.picture)


def draw(reynolds, measured, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, (left, right) = plt.subplots(1, 2, figsize=(9, 3.6), constrained_layout=True)
    left.plot(reynolds, [m["strouhal"] for m in measured], "o-")
    left.set_xlabel("Reynolds number")
    left.set_ylabel("Strouhal number")
    right.plot(reynolds, [m["drag"] for m in measured], "s-", color="tab:red")
    right.set_xlabel("Reynolds number")
    right.set_ylabel("mean drag coefficient")
    figure.suptitle("The 2D-2 cylinder from Re 60 to 200, 10 cells across the disc")
    figure.savefig(path, dpi=110)


if __name__ == "__main__":
    main()
