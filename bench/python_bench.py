#!/usr/bin/env python3
"""What Python costs: each target measured beside its baseline in the same
run, medians of several repetitions, printed as ratios.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/python_bench.py

1. run.step(1) a thousand times on the standard box, against run.step(1000)
   (the same thousand ticks in one C++ loop): at most 1.05.
2. A field of a 1024 x 1024 grid into numpy: under 5 ms.
3. Eight cylinder runs on a two-worker local Dask cluster against the same
   eight one after another in this process: at most 0.6.
"""

import os
import statistics
import sys
import time

import flowbox


def median_seconds(work, repetitions):
    times = []
    for _ in range(repetitions):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def steps_from_python():
    # Alternating, so that both loops see the same machine.
    by_one, in_cpp = [], []
    for _ in range(7):
        run = flowbox.Run()
        start = time.perf_counter()
        for _ in range(1000):
            run.step(1)
        by_one.append(time.perf_counter() - start)
        run = flowbox.Run()
        start = time.perf_counter()
        run.step(1000)
        in_cpp.append(time.perf_counter() - start)
    one, cpp = statistics.median(by_one), statistics.median(in_cpp)
    print(f"standard box, 1000 ticks: step(1) x 1000 {one * 1e3:.1f} ms, step(1000) {cpp * 1e3:.1f} ms, "
          f"ratio {one / cpp:.3f} (target <= 1.05)")
    return one / cpp <= 1.05


def field_to_numpy():
    scene = flowbox.Scene("cavity").with_values({"grid.cells": [1024, 1024], "grid.cell_size": 1.0 / 1024})
    run = flowbox.Run(scene)
    seconds = median_seconds(lambda: run.pressure, 21)
    print(f"1024 x 1024 pressure into numpy: {seconds * 1e3:.2f} ms (target < 5 ms)")
    return seconds < 0.005


def dask_sweep():
    from distributed import Client, LocalCluster

    scene = flowbox.Scene("cylinder")
    values = [{"inflow[0].speed": 1.0 + 0.05 * k} for k in range(8)]
    ticks = 150
    # A worker per core, each on one thread, as the runs one after another below.
    os.environ["FLOWBOX_THREADS"] = "1"
    with LocalCluster(n_workers=2, threads_per_worker=1, host="127.0.0.1", dashboard_address=None) as cluster, \
            Client(cluster) as client:
        flowbox.sweep(scene, values[:2], ticks=1, client=client)  # the workers import flowbox once
        on_dask = median_seconds(lambda: flowbox.sweep(scene, values, ticks=ticks, client=client), 3)
    # One after another, with one thread each, as a worker has.
    flowbox.set_threads(1)

    def serial():
        for changed in values:
            flowbox.Run(scene.with_values(changed)).step(ticks)

    alone = median_seconds(serial, 3)
    print(f"eight cylinder runs of {ticks} ticks: two Dask workers {on_dask:.2f} s, one after another {alone:.2f} s, "
          f"ratio {on_dask / alone:.3f} (target <= 0.6)")
    return on_dask / alone <= 0.6


if __name__ == "__main__":
    results = [steps_from_python(), field_to_numpy(), dask_sweep()]
    sys.exit(0 if all(results) else 1)
