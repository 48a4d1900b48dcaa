"""Parameter sweeps: one scene run once per set of changed values, each run
a task on a Dask cluster's workers or, without one, in a local process."""

import concurrent.futures
import multiprocessing
import os


def measurements(run):
    """What a sweep returns of each run unless told otherwise: the tick line's values."""
    line = run.tick_line()
    line["forces"] = run.forces
    line["probes"] = run.probes
    line["nusselt"] = run.nusselt
    return line


def _one_run(task):
    """Runs one set of values; a top-level function, so that workers can call it."""
    import cloudpickle

    from flowbox import Run  # in a fresh worker process

    scene, values, ticks, until_steady, measure = cloudpickle.loads(task)
    run = Run(scene.with_values(values) if values else scene)
    steady = None
    if until_steady is None:
        run.step(ticks)
    else:
        steady = run.until_steady(until_steady, ticks)
    result = measure(run)
    if isinstance(result, dict) and steady is not None:
        result.setdefault("steady", steady)
    return result


def sweep(scene, values, *, ticks, until_steady=None, measure=None, client=None, processes=None):
    """Runs scene once for each dict of changed values in `values` (as
    Scene.with_values takes them) and returns measure(run) of each, in order.

    ticks: the ticks each run steps, or with until_steady (a rate, as
    Run.until_steady takes it) the most it may step. measure: what to keep of
    a finished run (default: the tick line's values, and with until_steady
    whether it got there). client: a dask.distributed.Client, whose workers
    then run the runs; without one, up to `processes` local processes do
    (default: one per core). The results are the same either way, bit for bit.
    """
    import cloudpickle  # functions and lambdas as measures, to other processes

    from flowbox import Scene

    if not isinstance(scene, Scene):
        raise TypeError("sweep: scene is a flowbox.Scene, not " + type(scene).__name__)
    values = list(values)
    for k, changed in enumerate(values):
        if changed is not None and not isinstance(changed, dict):
            raise TypeError(f"sweep: values[{k}] is a dict of changed values, not {type(changed).__name__}")
    if isinstance(ticks, bool) or not isinstance(ticks, int) or ticks < 0:
        raise ValueError(f"sweep: ticks is a number of ticks, 0 or more, not {ticks!r}")
    if until_steady is not None and not (isinstance(until_steady, (int, float)) and until_steady > 0):
        raise ValueError(f"sweep: until_steady is a positive rate, not {until_steady!r}")
    if measure is None:
        measure = measurements
    elif not callable(measure):
        raise TypeError("sweep: measure is a function of a finished run")
    # Each scene's values checked here, so that a bad one fails before any run starts.
    for changed in values:
        if changed:
            scene.with_values(changed)
    tasks = [cloudpickle.dumps((scene, changed or {}, ticks, until_steady, measure)) for changed in values]
    if client is not None:
        # Each run is a task of its own: not pure, so that Dask never reuses one run's result for another.
        futures = client.map(_one_run, tasks, pure=False)
        return client.gather(futures)
    workers = processes or min(len(tasks), os.cpu_count() or 1) or 1
    # Fresh processes, not forks of one that may hold threads mid-way.
    with concurrent.futures.ProcessPoolExecutor(workers, mp_context=multiprocessing.get_context("spawn")) as pool:
        return list(pool.map(_one_run, tasks))
