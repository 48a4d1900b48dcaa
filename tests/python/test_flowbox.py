"""import flowbox: the same runs as the programs, arrays that stay valid, the
GIL let go while a run steps, sweeps that agree wherever they run, and bad
calls that raise rather than crash."""

import json
import os
import signal
import subprocess
import threading
import time

import numpy as np
import pytest

import flowbox

HEADLESS = os.environ["FLOWBOX_HEADLESS"]


def headless(*arguments):
    """flowbox-headless's tick lines and, with --dump, its dump."""
    out = subprocess.run([HEADLESS, *arguments], capture_output=True, text=True, check=True).stdout
    return [json.loads(line) for line in out.splitlines()]


def same_as_dump(run, dump):
    assert np.array_equal(run.u.ravel(), np.array(dump["u"], dtype=float))
    assert np.array_equal(run.v.ravel(), np.array(dump["v"], dtype=float))
    assert np.array_equal(run.pressure.ravel(), np.array(dump["pressure"], dtype=float))
    if "temperature" in dump:
        assert np.array_equal(run.temperature.ravel(), np.array(dump["temperature"], dtype=float))


@pytest.mark.parametrize(
    "scene, ticks",
    [(None, 300), ("cylinder", 30), ("heated-cavity", 30), ("cavity", 30), ("dam-break", 60)],
)
def test_a_run_equals_the_headless_dump_bit_for_bit(scene, ticks):
    run = flowbox.Run(flowbox.Scene(scene))
    run.step(ticks)
    lines = headless(*(["--scene", scene] if scene else []), "--ticks", str(ticks), "--dump")
    same_as_dump(run, lines[-1])
    last = lines[-2]
    assert run.tick == last["tick"] == ticks
    assert run.iterations == last["iterations"]
    assert run.max_divergence == last["max_divergence"]
    assert [list(f) for f in run.forces] == last.get("forces", [])
    assert run.probes == last.get("probes", [])
    assert run.nusselt == last.get("nusselt", {})
    # Every value the two lines share, each under its own name.
    line = run.tick_line()
    assert {key: last[key] for key in line if key in last} == {key: line[key] for key in line if key in last}
    assert set(line) - set(last) == {"time"}
    assert line["max_speed"] == run.max_speed and line["kinetic_energy"] == run.kinetic_energy


def test_the_same_bits_on_one_thread_and_two_and_from_a_saved_run(tmp_path):
    # Large enough that a tick's loops split over the threads.
    scene = flowbox.Scene("cavity").with_values({"grid.cells": [128, 128], "grid.cell_size": 1.0 / 128})
    fields = []
    for threads in (1, 2):
        flowbox.set_threads(threads)
        run = flowbox.Run(scene)
        run.step(4)
        fields.append((run.u, run.v, run.pressure))
    flowbox.set_threads(2)
    for one, two in zip(*fields):
        assert np.array_equal(one, two)

    # Saved from Python, resumed by the program; saved by the program, resumed in Python.
    run = flowbox.Run(flowbox.Scene("cylinder"))
    run.step(10)
    run.save(tmp_path / "ten.state")
    run.step(5)
    same_as_dump(run, headless("--resume", str(tmp_path / "ten.state"), "--ticks", "5", "--dump")[-1])
    headless("--scene", "cylinder", "--ticks", "10", "--save", str(tmp_path / "program.state"))
    resumed = flowbox.Run.resume(tmp_path / "program.state")
    assert resumed.tick == 10
    resumed.step(5)
    assert np.array_equal(resumed.u, run.u) and np.array_equal(resumed.pressure, run.pressure)


def test_fields_are_indexed_by_cell_i_then_j_on_a_grid_wider_than_tall():
    # 24 cells across and 16 down, the hot wall on the left: an array
    # reshaped without being transposed is neither shaped nor placed right.
    nx, ny = 24, 16
    scene = flowbox.Scene("heated-cavity").with_values(
        {"grid.cells": [nx, ny], "grid.cell_size": 1.0 / nx, "time.step": 0.02}
    )
    run = flowbox.Run(scene)
    run.step(5)
    assert run.u.shape == (nx + 1, ny) and run.v.shape == (nx, ny + 1)
    assert run.pressure.shape == run.temperature.shape == run.solid.shape == (nx, ny)
    # The field views lay out the same cells.
    assert np.array_equal(run.pressure, run.field("pressure"))
    assert np.array_equal(run.temperature, run.field("temperature"))
    assert run.temperature[0].min() > 0.5 > run.temperature[-1].max()
    # A push at the centre of cell (6, 3) moves the flow there most.
    before_u, before_v = run.u.copy(), run.v.copy()
    run.push(6.5 / nx, 3.5 / nx, 2.0, -1.0)
    run.step(1)
    for after, before in ((run.u, before_u), (run.v, before_v)):
        i, j = np.unravel_index(np.argmax(np.abs(after - before)), after.shape)
        assert abs(i - 6) <= 2 and abs(j - 3) <= 2, (i, j)


def test_poured_dye_keeps_its_colour_channel_by_channel():
    nx, ny = 24, 16
    run = flowbox.Run(flowbox.Scene("cavity").with_values({"grid.cells": [nx, ny], "grid.cell_size": 1.0 / nx}))
    # Each at the centre of a cell, where the pour is at full strength.
    run.pour(4.5 / nx, 5.5 / nx, colour=(0.0, 0.0, 1.0))
    run.pour(18.5 / nx, 10.5 / nx, colour=(1.0, 1.0, 0.0))
    run.pour(12.5 / nx, 2.5 / nx, colour=(0.0, 0.5, 0.0))
    dye = run.dye
    assert dye.shape == (3, nx, ny)
    assert list(dye[:, 4, 5]) == [0.0, 0.0, 1.0]
    assert list(dye[:, 18, 10]) == [1.0, 1.0, 0.0]
    assert list(dye[:, 12, 2]) == [0.0, 0.5, 0.0]
    # Nothing but blue where only blue was poured.
    assert dye[2, :9].sum() > 1.0 and not dye[:2, :9].any()


def test_changed_values_run_as_the_same_file_would():
    scene = flowbox.Scene("cavity")
    changed = scene.with_values({"fluid.viscosity": 0.02, "walls.top": "no-slip"})
    as_text = flowbox.Scene.from_toml(changed.toml)
    a, b = flowbox.Run(changed), flowbox.Run(as_text)
    a.step(20)
    b.step(20)
    assert np.array_equal(a.u, b.u)
    original = flowbox.Run(scene)
    original.step(20)
    assert not np.array_equal(a.u, original.u)
    assert scene.with_values({}).toml != "" and flowbox.Scene("cavity").toml == scene.toml


def test_arrays_are_copies_that_outlive_their_run_and_refuse_writing():
    run = flowbox.Run(flowbox.Scene("cavity"))
    run.step(5)
    u, vorticity = run.u, run.field("vorticity")
    kept = u.copy()
    run.step(5)
    assert np.array_equal(u, kept) and not np.array_equal(run.u, kept)
    del run
    assert np.isfinite(vorticity).all() and u.sum() == kept.sum()
    with pytest.raises(ValueError):
        u[0, 0] = 1.0


def test_two_runs_step_at_once_in_two_threads():
    runs = [flowbox.Run(flowbox.Scene("cavity")) for _ in range(2)]
    threads = [threading.Thread(target=run.step, args=(400,)) for run in runs]
    for thread in threads:
        thread.start()
    # Only with the GIL let go can this thread see both runs inside step.
    both = False
    while any(thread.is_alive() for thread in threads) and not both:
        both = all(repr(run) == "<flowbox.Run stepping>" for run in runs)
        time.sleep(0.001)
    for thread in threads:
        thread.join()
    assert both
    assert [run.tick for run in runs] == [400, 400]
    assert np.array_equal(runs[0].u, runs[1].u)


def test_ctrl_c_stops_a_run_between_ticks_and_leaves_it_whole():
    run = flowbox.Run(flowbox.Scene("cavity"))
    timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        run.step(10_000_000)
    timer.join()
    stopped = run.tick
    assert 0 < stopped < 10_000_000
    run.step(1)
    assert run.tick == stopped + 1 and np.isfinite(run.u).all()


def test_a_hand_a_picture_and_files(tmp_path):
    run = flowbox.Run(flowbox.Scene("cavity"))
    run.step(2)
    before = run.u.copy()
    run.push(0.5, 0.5, 5.0, 0.0)
    run.pour(0.5, 0.5)
    assert run.set_solid(3, 3, True) is True
    run.step(1)
    assert run.solid[3, 3] and not run.solid[4, 4]
    assert run.dye is not None and run.dye.sum() > 0.0
    assert np.abs(run.u - before).max() > 0.1
    picture = run.frame((120, 80), view="vorticity")
    assert picture.shape == (80, 120, 3) and picture.dtype == np.uint8 and picture.std() > 0
    assert run._repr_png_().startswith(b"\x89PNG")
    run.write_vtk(tmp_path / "vtk")
    run.step(1)
    run.write_vtk(tmp_path / "vtk")
    assert sorted(os.listdir(tmp_path / "vtk")) == ["field-00000003.vti", "field-00000004.vti", "flowbox.pvd"]


def test_bad_calls_raise_the_right_exceptions(tmp_path):
    run = flowbox.Run(flowbox.Scene("cavity"))
    standard = flowbox.Run()
    damaged = tmp_path / "damaged.state"
    run.save(damaged)
    damaged.write_bytes(damaged.read_bytes()[:-5] + b"xxxxx")
    cases = [
        (TypeError, lambda: run.step("ten")),
        (ValueError, lambda: run.step(-1)),
        (ValueError, lambda: run.until_steady(0.0, 10)),
        (ValueError, lambda: run.until_steady(1e-3, -5)),
        (ValueError, lambda: run.field("colour")),
        (ValueError, lambda: run.field("temperature")),
        (ValueError, lambda: run.frame((0, 10))),
        (ValueError, lambda: run.frame((10, 10), view="dye")),
        (TypeError, lambda: run.frame("large")),
        (IndexError, lambda: run.set_solid(run.scene.cells[0], 0, True)),
        (IndexError, lambda: run.set_solid(0, -1, True)),
        (ValueError, lambda: run.push(0.5, float("nan"), 1.0, 0.0)),
        (ValueError, lambda: run.pour(0.5, 0.5, colour=(2.0, 0.0, 0.0))),
        (ValueError, lambda: standard.push(1.0, 1.0, 1.0, 0.0)),
        (flowbox.SceneError, lambda: flowbox.Scene("no-such-scene")),
        (flowbox.SceneError, lambda: flowbox.Scene.from_toml("[grid]\ncells = [8, 8\n")),
        (flowbox.SceneError, lambda: flowbox.Scene("cavity").with_values({"fluid.viscosity": -1.0})),
        (flowbox.SceneError, lambda: flowbox.Scene("cavity").with_values({"inflow[0].speed": 1.0})),
        (flowbox.SceneError, lambda: flowbox.Scene("tap").with_values({"inflow[1].speed": 1.0})),
        (TypeError, lambda: flowbox.Scene("cavity").with_values({"fluid.viscosity": {1, 2}})),
        (TypeError, lambda: flowbox.Scene(42)),
        (flowbox.StateError, lambda: flowbox.Run.resume(damaged)),
        (flowbox.StateError, lambda: flowbox.Run.resume(tmp_path / "missing.state")),
        (ValueError, lambda: flowbox.set_threads(0)),
        (OSError, lambda: run.save(tmp_path / "no-such-folder" / "run.state")),
        (ValueError, lambda: run.u.__setitem__((0, 0), 1.0)),
        (TypeError, lambda: flowbox.sweep("cavity", [{}], ticks=1)),
        (ValueError, lambda: flowbox.sweep(flowbox.Scene("cavity"), [{}], ticks=-1)),
    ]
    for kind, call in cases:
        with pytest.raises(kind):
            call()
    # The same one line the programs print, with its line and column.
    with pytest.raises(flowbox.SceneError, match=r"^<text>:2:\d+: "):
        flowbox.Scene.from_toml("[grid]\ncells = [8, -1]\n")
    assert issubclass(flowbox.SceneError, ValueError) and issubclass(flowbox.StateError, ValueError)
    assert run.tick == 0  # nothing above touched the run


def test_a_sweep_gives_the_same_numbers_on_dask_as_in_local_processes():
    distributed = pytest.importorskip("distributed")
    scene = flowbox.Scene("cavity")
    values = [{"fluid.viscosity": viscosity} for viscosity in (0.01, 0.02, 0.04)]
    local = flowbox.sweep(scene, values, ticks=20, processes=2)
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, host="127.0.0.1", dashboard_address=None, processes=True
    ) as cluster, distributed.Client(cluster) as client:
        on_dask = flowbox.sweep(scene, values, ticks=20, client=client)
    assert on_dask == local
    assert [line["tick"] for line in local] == [20, 20, 20]
    assert len({line["kinetic_energy"] for line in local}) == 3
    # Steady runs with a measure of one's own, and with the tick line, which
    # then says whether each got there.
    steady = flowbox.sweep(scene, [{}], ticks=20000, until_steady=1e-2, measure=lambda run: (run.tick, run.max_speed))
    run = flowbox.Run(scene)
    assert run.until_steady(1e-2, 20000)
    assert steady == [(run.tick, run.max_speed)]
    coarse = scene.with_values({"grid.cells": [32, 32], "grid.cell_size": 1.0 / 32, "time.step": 0.02})
    run = flowbox.Run(coarse)
    assert run.until_steady(1e-2, 20000)
    lines = flowbox.sweep(coarse, [{}], ticks=run.tick, until_steady=1e-2)
    short = flowbox.sweep(coarse, [{}], ticks=run.tick - 1, until_steady=1e-2)
    assert [(line["steady"], line["tick"], line["max_speed"]) for line in lines + short] == [
        (True, run.tick, run.max_speed),
        (False, run.tick - 1, short[0]["max_speed"]),
    ]


def test_a_liquid_from_python_is_the_programs_liquid(tmp_path):
    from vtkmodules.util.numpy_support import vtk_to_numpy
    from vtkmodules.vtkIOXML import vtkXMLImageDataReader

    fresh = flowbox.Run(flowbox.Scene("dam-break"))
    nx, ny = fresh.scene.cells
    dx = fresh.scene.cell_size
    # The column 2a high by the left wall, dry beyond it; the height measured up from the floor.
    assert fresh.surface_height(0.5 * 0.146) == pytest.approx(2 * 0.146, abs=dx)
    assert np.isnan(fresh.surface_height(0.5))
    run = flowbox.Run(flowbox.Scene("dam-break"))
    run.step(100)
    headless("--scene", "dam-break", "--ticks", "100", "--vtk", str(tmp_path), "--every", "100")
    reader = vtkXMLImageDataReader()
    reader.SetFileName(str(tmp_path / "field-00000100.vti"))
    reader.Update()
    written = vtk_to_numpy(reader.GetOutput().GetCellData().GetArray("level set"))
    # The files hold rows from the bottom, x along each.
    assert np.array_equal(run.level_set, written.reshape(ny, nx)[::-1].T)
    assert run.level_set.shape == (nx, ny) and not run.level_set.flags.writeable
    line = run.tick_line()
    assert run.liquid_area == line["liquid_area"]
    assert run.particles.shape == (line["liquid_particles"], 4) and not run.particles.flags.writeable
    x, y, u, v = run.particles.T
    assert (x > 0).all() and (x < nx * dx).all() and (y > 0).all() and (y < ny * dx).all()
    assert np.hypot(u, v).max() == pytest.approx(line["liquid_largest_speed"], rel=1e-12)
    # The front has run out along the floor, lower than the column it came from.
    assert 0.0 < run.surface_height(0.25) < run.surface_height(0.01)
    plain, dotted = run.frame((200, 125)), run.frame((200, 125), particles=True)
    assert not np.array_equal(plain, dotted)
    # A hand pours the liquid itself where none is, no dye.
    before = run.particles.shape[0]
    run.pour(0.4, 0.1)
    assert run.particles.shape[0] > before and run.dye is None
    standard = flowbox.Run()
    assert standard.level_set is None and standard.particles is None and standard.liquid_area is None
    for call in (lambda: standard.surface_height(1.0), lambda: run.surface_height(-0.1),
                 lambda: run.surface_height(float("nan"))):
        with pytest.raises(ValueError):
            call()
