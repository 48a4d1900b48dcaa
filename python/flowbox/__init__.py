"""flowbox from Python: scenes, runs and their fields as numpy arrays, and sweeps.

    import flowbox
    run = flowbox.Run(flowbox.Scene("cylinder"))
    run.step(100)
    run.field("vorticity")      # numpy, one value per cell

docs/PYTHON.md has every call with an example.
"""

import os as _os

from ._flowbox import (  # noqa: F401  (the public names)
    Run,
    Scene,
    SceneError,
    StateError,
    scenes,
    set_threads,
    threads,
)
from ._sweep import sweep  # noqa: F401

_here = _os.path.dirname(_os.path.abspath(__file__))
# The shipped scenes: beside the package in a build tree (build/<preset>/share),
# or in the system's data folder where the package is installed.
from ._flowbox import _set_scene_folders  # noqa: E402
_set_scene_folders(
    [
        _os.path.normpath(_os.path.join(_here, "..", "..", "share", "flowbox", "scenes")),
        _os.path.normpath(_os.path.join(_here, "..", "..", "..", "..", "share", "flowbox", "scenes")),
    ]
)

__all__ = ["Run", "Scene", "SceneError", "StateError", "scenes", "set_threads", "sweep", "threads"]
