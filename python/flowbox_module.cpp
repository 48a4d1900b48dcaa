// The compiled half of `import flowbox`: scenes and runs, their fields as
// numpy arrays, pictures and files. The Python half (flowbox/__init__.py)
// adds the sweeps. Everything here goes through Run, as the programs do, so
// that a run from Python is the same run, bit for bit.

#include "parallel/thread_pool.h"
#include "run/run.h"
#include "sim/measure/cell_fields.h"
#include "sim/scene/scene_catalog.h"
#include "sim/scene/scene_file.h"
#include "sim/saved/state_file.h"
#include "tools/vtk_files.h"
#include "view/frame.h"
#include "view/frame_painter.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

// Where Scene("name") looks for the shipped scenes; the Python half sets it.
std::vector<std::string> shippedFolders;

// The module's exception types; held for the life of the process (a
// global py::object would let go of them after the interpreter is gone).
PyObject* sceneError = nullptr;
PyObject* stateError = nullptr;

[[noreturn]] void raise(PyObject* kind, const std::string& message)
{
    PyErr_SetString(kind, message.c_str());
    throw py::error_already_set();
}

Scene sceneNamed(const std::string& nameOrPath)
{
    const std::string path = findScene(nameOrPath, shippedFolders);
    Scene scene;
    std::string error;
    if (path.empty()) {
        std::string names;
        for (const std::string& name : shippedScenes(shippedFolders))
            names += (names.empty() ? "" : ", ") + name;
        raise(sceneError, "no scene file or shipped scene \"" + nameOrPath + "\" (shipped: " +
                              (names.empty() ? std::string("none found") : names) + ")");
    }
    if (!loadSceneFile(path, scene, error))
        raise(sceneError, error);
    return scene;
}

Scene sceneFromText(const std::string& text, const std::string& source)
{
    Scene scene;
    std::string error;
    if (!parseScene(text, source, scene, error))
        raise(sceneError, error);
    return scene;
}

SceneValue sceneValue(const py::handle& value, const std::string& key)
{
    SceneValue out;
    // bool first: Python's True is also an int.
    if (py::isinstance<py::bool_>(value)) {
        out.kind = SceneValue::Kind::truth;
        out.truth = value.cast<bool>();
    } else if (py::isinstance<py::int_>(value)) {
        out.kind = SceneValue::Kind::whole;
        try {
            out.whole = value.cast<int64_t>();
        } catch (const py::cast_error&) {
            throw py::value_error("values[\"" + key + "\"]: too large for a scene file");
        }
    } else if (py::isinstance<py::float_>(value)) {
        out.number = value.cast<double>();
    } else if (py::isinstance<py::str>(value)) {
        out.kind = SceneValue::Kind::text;
        out.text = value.cast<std::string>();
    } else if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
        out.kind = SceneValue::Kind::list;
        for (const py::handle item : value)
            out.items.push_back(sceneValue(item, key));
    } else {
        throw py::type_error("values[\"" + key + "\"]: a number, whole number, bool, str or list, not " +
                             std::string(py::str(value.get_type().attr("__name__"))));
    }
    return out;
}

Scene withValues(const Scene& scene, const py::dict& values)
{
    std::vector<std::pair<std::string, SceneValue>> changes;
    for (const auto& [key, value] : values) {
        if (!py::isinstance<py::str>(key))
            throw py::type_error("values: keys are a scene file's paths, as \"fluid.viscosity\"");
        const std::string path = key.cast<std::string>();
        changes.emplace_back(path, sceneValue(value, path));
    }
    Scene changed;
    std::string error;
    if (!sceneWithValues(scene, changes, changed, error))
        raise(sceneError, error);
    return changed;
}

// A copy of the values, shaped, that numpy owns and nobody may write.
py::array_t<double> readOnlyArray(const double* values, std::vector<py::ssize_t> shape)
{
    py::array_t<double> array(shape);
    std::memcpy(array.mutable_data(), values, size_t(array.size()) * sizeof(double));
    array.attr("flags").attr("writeable") = false;
    return array;
}

py::array_t<double> gridArray(const GridArray& grid)
{
    return readOnlyArray(grid.data.get(), {py::ssize_t(grid.extent[0]), py::ssize_t(grid.extent[1])});
}

std::optional<CellField> fieldNamed(const std::string& name, const char* argument)
{
    if (name == "flow")
        return std::nullopt;
    for (int f = 0; f < cellFieldCount; ++f)
        if (name == cellFieldName(CellField(f)))
            return CellField(f);
    throw py::value_error(std::string(argument) + ": flow, speed, vorticity, pressure, dye or temperature, not '" +
                          name + "'");
}

// Text on a picture (a colour bar's labels) takes a QGuiApplication; one
// without a display, made the first time a picture is asked for.
void ensurePainting()
{
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A platform wants a runtime folder of its own and warns without one.
    static std::unique_ptr<QTemporaryDir> runtimeFolder;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtimeFolder = std::make_unique<QTemporaryDir>();
        if (runtimeFolder->isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder->path()));
    }
    static int argc = 1;
    static char name[] = "flowbox";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);  // lives as long as the process
}

// One run, as Python holds it.
class PyRun {
public:
    explicit PyRun(const Scene& scene) : run(std::make_unique<Run>(scene)) {}

    static std::unique_ptr<PyRun> resume(const std::string& path)
    {
        SavedRun saved;
        std::string problem;
        if (!loadStateFile(path, Trail::capacity, saved, problem))
            raise(stateError, problem);
        auto resumed = std::make_unique<PyRun>(saved.scene);
        if (!resumed->run->resume(saved, problem))
            raise(stateError, path + ": does not fit its scene: " + problem);
        return resumed;
    }

    // Steps n ticks without the GIL; Ctrl+C stops it between two ticks.
    void step(long long n)
    {
        if (n < 0)
            throw py::value_error("step: n is a number of ticks, 0 or more, not " + std::to_string(n));
        Busy busy(*this);
        for (long long k = 0; k < n; ++k) {
            {
                py::gil_scoped_release unlocked;
                run->step();
            }
            if (PyErr_CheckSignals() != 0)
                throw py::error_already_set();
        }
    }

    bool untilSteady(double rate, long long limit)
    {
        if (!(rate > 0.0) || !std::isfinite(rate))
            throw py::value_error("until_steady: rate must be a positive number, not " + std::to_string(rate));
        if (limit < 0)
            throw py::value_error("until_steady: limit is a number of ticks, 0 or more, not " + std::to_string(limit));
        Busy busy(*this);
        bool steady = false, interrupted = false;
        {
            py::gil_scoped_release unlocked;
            const RunOutcome outcome = run->advance(uint64_t(limit), rate, [&](uint64_t, double) {
                py::gil_scoped_acquire locked;
                interrupted = PyErr_CheckSignals() != 0;
                return !interrupted;
            });
            steady = outcome.steady;
        }
        if (interrupted)
            throw py::error_already_set();
        return steady;
    }

    const Run& ready() const
    {
        if (busy)
            throw std::runtime_error("the run is stepping in another thread");
        return *run;
    }
    Run& ready()
    {
        if (busy)
            throw std::runtime_error("the run is stepping in another thread");
        return *run;
    }

    // A hand on a scene's flow: the built-in standard box is not to be touched.
    FluidSolver& touchable(const char* call)
    {
        FluidSolver& solver = ready().solver();
        if (solver.scene.builtIn)
            throw py::value_error(std::string(call) +
                                  ": the built-in standard box is not touched; run Scene(\"standard\") instead");
        return solver;
    }

    // What the window shows, drawn in software, as 8-bit RGB.
    QImage picture(int width, int height, const std::string& view, bool arrows, bool particles = false)
    {
        if (width < 1 || height < 1 || width > 8192 || height > 8192)
            throw py::value_error("frame: size is (width, height), each from 1 to 8192");
        FrameOptions options;
        options.field = fieldNamed(view, "frame: view");
        options.arrows = arrows;
        options.particles = particles;
        const Run& shown = ready();
        if (options.field && !hasField(shown.solver(), *options.field))
            throw py::value_error("frame: view: the scene has no " + view);
        ensurePainting();
        composeFrame(shown.solver(), uint32_t(width), uint32_t(height), frame, options);
        composeTrails(shown.tracers(), frame);
        return paintFrame(frame).convertToFormat(QImage::Format_RGB888);
    }

    // As a window shows the run: the standard window's view, or 600 pixels
    // wide in the scene's proportions.
    std::pair<int, int> pictureSize() const
    {
        const Scene& scene = ready().scene();
        if (scene.builtIn)
            return {int(standardViewWidth), int(standardViewHeight)};
        return {int(standardViewWidth),
                std::max(1, int(std::lround(double(standardViewWidth) * scene.ny / scene.nx)))};
    }

    void writeVtk(const std::string& folder)
    {
        const Run& written = ready();
        const QString path = QString::fromStdString(folder);
        if (!QDir().mkpath(path))
            throw py::value_error("write_vtk: cannot make the folder " + folder);
        auto series = vtk.find(folder);
        if (series == vtk.end())
            series = vtk.emplace(folder, VtkSeries(path)).first;
        QString failed;
        if (!series->second.write(written.solver(), written.tick(), failed))
            raise(PyExc_OSError, "write_vtk: cannot write " + failed.toStdString());
    }

    std::unique_ptr<Run> run;
    std::atomic<bool> busy{false};

private:
    // Marks the run as stepping: the GIL is let go, and another thread must
    // not read the fields halfway through a tick.
    struct Busy {
        explicit Busy(PyRun& run) : run(run)
        {
            if (run.busy.exchange(true))
                throw std::runtime_error("the run is already stepping in another thread");
        }
        ~Busy() { run.busy = false; }
        PyRun& run;
    };

    Frame frame;  // reused, so that a following colour range moves gently from picture to picture
    std::map<std::string, VtkSeries> vtk;  // a series per folder written to
};

py::dict tickLine(const Run& run)
{
    const FluidSolver& solver = run.solver();
    const FlowSummary summary = run.summary();
    py::dict line;
    line["tick"] = run.tick();
    line["time"] = run.time();
    line["converged"] = solver.lastPressureSolve().converged;
    line["iterations"] = solver.lastPressureSolve().iterations;
    line["max_divergence"] = summary.maxDivergence;
    line["max_speed"] = summary.maxSpeed;
    line["kinetic_energy"] = summary.kineticEnergy;
    if (solver.liquid) {
        line["liquid_area"] = solver.liquid->area();
        line["liquid_largest_speed"] = solver.liquid->largestSpeed();
        line["liquid_particles"] = solver.liquid->particles().size();
        line["liquid_surface_shift"] = solver.liquid->lastSurfaceShift();
    }
    return line;
}

}  // namespace

PYBIND11_MODULE(_flowbox, module)
{
    module.doc() = "flowbox's scenes and runs; import flowbox, not this";
    sceneError = PyErr_NewExceptionWithDoc("flowbox.SceneError", "A scene that flowbox cannot run, with its one line.",
                                           PyExc_ValueError, nullptr);
    stateError = PyErr_NewExceptionWithDoc("flowbox.StateError", "A saved run that flowbox cannot go on from.",
                                           PyExc_ValueError, nullptr);
    if (!sceneError || !stateError)
        throw py::error_already_set();
    module.attr("SceneError") = py::handle(sceneError);
    module.attr("StateError") = py::handle(stateError);

    module.def("_set_scene_folders", [](std::vector<std::string> folders) { shippedFolders = std::move(folders); });
    module.def("scenes", [] { return shippedScenes(shippedFolders); }, "The names of the shipped scenes.");
    module.def("threads", &parallel::threadCount, "How many threads a tick's loops use.");
    module.def(
        "set_threads",
        [](int count) {
            if (count < 1 || count > 64)
                throw py::value_error("set_threads: count from 1 to 64, not " + std::to_string(count));
            parallel::setThreadCount(count);
        },
        py::arg("count"), "Sets how many threads a tick's loops use; the numbers do not change.");

    py::class_<Scene>(module, "Scene", "A scene: the shipped one of a name, a file, or TOML text.")
        .def(py::init([](const py::object& nameOrPath) {
                 if (nameOrPath.is_none())
                     return Scene::standard();
                 if (!py::isinstance<py::str>(nameOrPath) && !py::hasattr(nameOrPath, "__fspath__"))
                     throw py::type_error("Scene: name_or_path is a shipped scene's name or a path, not " +
                                          std::string(py::str(nameOrPath.get_type().attr("__name__"))));
                 return sceneNamed(py::str(py::module_::import("os").attr("fspath")(nameOrPath)));
             }),
             py::arg("name_or_path") = py::none(),
             "Scene() is the standard box as the programs run it without a scene; Scene(\"cylinder\") a "
             "shipped scene; Scene(path) a file.")
        .def_static("from_toml", &sceneFromText, py::arg("text"), py::arg("source") = "<text>",
                    "A scene from a scene file's text; source names it in messages.")
        .def("with_values", &withValues, py::arg("values"),
             "A copy with some values changed, keyed by their path in the file: "
             "{\"fluid.viscosity\": 0.002, \"inflow[0].speed\": 1.2}.")
        .def_property_readonly("name", [](const Scene& scene) { return scene.name; })
        .def_property_readonly("file", [](const Scene& scene) { return scene.file; })
        .def_property_readonly("toml", [](const Scene& scene) { return scene.text; })
        .def_property_readonly("cells", [](const Scene& scene) { return py::make_tuple(scene.nx, scene.ny); })
        .def_property_readonly("cell_size", [](const Scene& scene) { return scene.cellSize; })
        .def_property_readonly("time_step", [](const Scene& scene) { return scene.timeStep; })
        .def("__repr__",
             [](const Scene& scene) {
                 return "<flowbox.Scene " + (scene.builtIn ? std::string("standard box (built in)") : scene.name.empty() ? scene.file : scene.name) +
                        ", " + std::to_string(scene.nx) + " x " + std::to_string(scene.ny) + " cells>";
             })
        .def(py::pickle(
            [](const Scene& scene) { return py::make_tuple(scene.builtIn, scene.text, scene.file); },
            [](const py::tuple& state) {
                if (state.size() != 3)
                    throw std::runtime_error("not a pickled flowbox.Scene");
                if (state[0].cast<bool>())
                    return Scene::standard();
                Scene scene = sceneFromText(state[1].cast<std::string>(), state[2].cast<std::string>());
                return scene;
            }));

    py::class_<PyRun>(module, "Run", "One run of a scene: step it, read its fields and measurements, save it.")
        .def(py::init([](const Scene& scene) {
                 if (const std::string problem = scene.problem(); !problem.empty())
                     raise(sceneError, problem);
                 return std::make_unique<PyRun>(scene);
             }),
             py::arg("scene") = Scene::standard())
        .def_static("resume", [](const py::object& path) {
                        return PyRun::resume(py::str(py::module_::import("os").attr("fspath")(path)));
                    },
                    py::arg("path"), "Goes on from a run saved with save() or a program's --save.")
        .def("step", &PyRun::step, py::arg("n") = 1, "Runs n ticks; other Python threads run meanwhile.")
        .def("until_steady", &PyRun::untilSteady, py::arg("rate"), py::arg("limit"),
             "Steps until no velocity sample (nor temperature) changes faster than rate per unit of time, at "
             "most limit ticks; whether it got there.")
        .def_property_readonly("tick", [](const PyRun& r) { return r.ready().tick(); })
        .def_property_readonly("time", [](const PyRun& r) { return r.ready().time(); })
        .def_property_readonly("scene", [](const PyRun& r) { return r.ready().scene(); })
        .def_property_readonly("u", [](const PyRun& r) { return gridArray(r.ready().solver().velocity->u); })
        .def_property_readonly("v", [](const PyRun& r) { return gridArray(r.ready().solver().velocity->v); })
        .def_property_readonly("pressure",
                               [](const PyRun& r) { return gridArray(r.ready().solver().pressure->values); })
        .def_property_readonly("dye",
                               [](const PyRun& r) -> py::object {
                                   const FluidSolver& solver = r.ready().solver();
                                   if (!solver.dye)
                                       return py::none();
                                   py::array_t<double> channels({py::ssize_t(3), py::ssize_t(solver.nx),
                                                                 py::ssize_t(solver.ny)});
                                   for (int c = 0; c < 3; ++c)
                                       std::memcpy(channels.mutable_data(c), solver.dye->channel[c].data.get(),
                                                   solver.dye->channel[c].size() * sizeof(double));
                                   channels.attr("flags").attr("writeable") = false;
                                   return channels;
                               })
        .def_property_readonly("temperature",
                               [](const PyRun& r) -> py::object {
                                   const FluidSolver& solver = r.ready().solver();
                                   if (!solver.heat)
                                       return py::none();
                                   return gridArray(solver.heat->temperature);
                               })
        .def_property_readonly("solid",
                               [](const PyRun& r) {
                                   const FluidSolver& solver = r.ready().solver();
                                   py::array_t<bool> cells({py::ssize_t(solver.nx), py::ssize_t(solver.ny)});
                                   auto out = cells.mutable_unchecked<2>();
                                   for (uint32_t i = 0; i < solver.nx; ++i)
                                       for (uint32_t j = 0; j < solver.ny; ++j)
                                           out(i, j) = solver.domain.isSolid(i, j);
                                   cells.attr("flags").attr("writeable") = false;
                                   return cells;
                               })
        .def("field",
             [](const PyRun& r, const std::string& name) {
                 const std::optional<CellField> field = fieldNamed(name, "field: name");
                 const FluidSolver& solver = r.ready().solver();
                 if (!field)
                     throw py::value_error("field: name: speed, vorticity, pressure, dye or temperature, not 'flow'");
                 const std::vector<double> values = cellValues(solver, *field);
                 if (values.empty())
                     throw py::value_error("field: the scene has no " + name);
                 return readOnlyArray(values.data(), {py::ssize_t(solver.nx), py::ssize_t(solver.ny)});
             },
             py::arg("name"), "A field at the cell centres, NaN in solid cells: speed, vorticity, pressure, dye, temperature.")
        .def_property_readonly("level_set",
                               [](const PyRun& r) -> py::object {
                                   const FluidSolver& solver = r.ready().solver();
                                   if (!solver.liquid)
                                       return py::none();
                                   return gridArray(solver.liquid->levelSet());
                               },
                               "A liquid's level set at the cell centres (nx, ny), length units, below 0 in the "
                               "liquid; None without one.")
        .def_property_readonly("particles",
                               [](const PyRun& r) -> py::object {
                                   const FluidSolver& solver = r.ready().solver();
                                   if (!solver.liquid)
                                       return py::none();
                                   const std::vector<LiquidParticle>& particles = solver.liquid->particles();
                                   std::vector<double> rows;
                                   rows.reserve(particles.size() * 4);
                                   for (const LiquidParticle& p : particles)
                                       rows.insert(rows.end(), {p.x, p.y, p.u, p.v});
                                   return readOnlyArray(rows.data(), {py::ssize_t(particles.size()), 4});
                               },
                               "A liquid's particles, a row each: x, y (length units from the top left, y "
                               "down), u, v; None without a liquid.")
        .def_property_readonly("liquid_area",
                               [](const PyRun& r) -> py::object {
                                   const FluidSolver& solver = r.ready().solver();
                                   return solver.liquid ? py::cast(solver.liquid->area()) : py::none();
                               },
                               "The area under the liquid's surface (a volume per unit depth); None without one.")
        .def(
            "surface_height",
            [](const PyRun& r, double x) {
                const FluidSolver& solver = r.ready().solver();
                if (!solver.liquid)
                    throw py::value_error("surface_height: the scene has no liquid");
                if (!std::isfinite(x) || x < 0.0 || x > solver.nx * solver.dx)
                    throw py::value_error("surface_height: x must lie in the box, from 0 to " +
                                          std::to_string(solver.nx * solver.dx));
                // From the top, as the grid counts; as a height, up from the floor.
                return solver.ny * solver.dx - solver.liquid->surfaceAt(x);
            },
            py::arg("x"),
            "How high the liquid's surface stands above the box's floor at x (length units from the left): "
            "where the level set changes sign, the first time going down from the top; NaN where no liquid is.")
        .def_property_readonly("forces",
                               [](const PyRun& r) {
                                   py::list forces;
                                   for (const BodyForce& force : r.ready().forces())
                                       forces.append(py::make_tuple(force.x, force.y));
                                   return forces;
                               })
        .def_property_readonly("probes",
                               [](const PyRun& r) {
                                   py::list readings;
                                   for (const ProbeReading& reading : r.ready().probes()) {
                                       py::dict one;
                                       one["u"] = reading.u;
                                       one["v"] = reading.v;
                                       one["p"] = reading.p;
                                       readings.append(one);
                                   }
                                   return readings;
                               })
        .def_property_readonly("nusselt",
                               [](const PyRun& r) {
                                   py::dict walls;
                                   for (const WallNusselt& wall : r.ready().nusselt())
                                       walls[sideName(wall.side)] = wall.value;
                                   return walls;
                               })
        .def_property_readonly("iterations",
                               [](const PyRun& r) { return r.ready().solver().lastPressureSolve().iterations; })
        .def_property_readonly("converged",
                               [](const PyRun& r) { return r.ready().solver().lastPressureSolve().converged; })
        .def_property_readonly("max_divergence", [](const PyRun& r) { return r.ready().summary().maxDivergence; })
        .def_property_readonly("max_speed", [](const PyRun& r) { return r.ready().summary().maxSpeed; })
        .def_property_readonly("kinetic_energy", [](const PyRun& r) { return r.ready().summary().kineticEnergy; })
        .def("tick_line", [](const PyRun& r) { return tickLine(r.ready()); },
             "The tick line's values after the last tick, as a dict.")
        .def(
            "push",
            [](PyRun& r, double x, double y, double vx, double vy) {
                for (const double value : {x, y, vx, vy})
                    if (!std::isfinite(value))
                        throw py::value_error("push: x, y, vx and vy must be finite");
                r.touchable("push").push({x, y, vx, vy});
            },
            py::arg("x"), py::arg("y"), py::arg("vx"), py::arg("vy"),
            "Pushes the flow at (x, y) (length units) towards (vx, vy) at the next tick, as a hand in the window does.")
        .def(
            "pour",
            [](PyRun& r, double x, double y, const py::object& radius, std::vector<double> colour) {
                FluidSolver& solver = r.touchable("pour");
                const double reach = radius.is_none() ? solver.scene.interaction.radius * solver.dx
                                                      : radius.cast<double>();
                if (!std::isfinite(x) || !std::isfinite(y) || !(reach > 0.0) || !std::isfinite(reach))
                    throw py::value_error("pour: x and y must be finite, radius positive");
                if (colour.size() != 3 || !std::all_of(colour.begin(), colour.end(),
                                                       [](double c) { return c >= 0.0 && c <= 1.0; }))
                    throw py::value_error("pour: colour is (red, green, blue), each from 0 to 1");
                if (solver.liquid) {
                    solver.liquid->pourAt(x, y, reach, {0.0, 0.0});
                    return;
                }
                const float rgb[3] = {float(colour[0]), float(colour[1]), float(colour[2])};
                solver.enableDye();
                solver.pourDye(x, y, reach, rgb);
            },
            py::arg("x"), py::arg("y"), py::arg("radius") = py::none(),
            py::arg("colour") = std::vector<double>{1.0, 0.3, 0.1},
            "Pours dye within radius of (x, y), as a hand in the window does; in a liquid scene, the liquid "
            "into the cells there that hold none.")
        .def(
            "set_solid",
            [](PyRun& r, long long i, long long j, bool solid) {
                FluidSolver& solver = r.touchable("set_solid");
                if (i < 0 || j < 0 || i >= solver.nx || j >= solver.ny)
                    throw py::index_error("set_solid: cell (" + std::to_string(i) + ", " + std::to_string(j) +
                                          ") is outside the grid of " + std::to_string(solver.nx) + " x " +
                                          std::to_string(solver.ny));
                return solver.setSolid(uint32_t(i), uint32_t(j), solid);
            },
            py::arg("i"), py::arg("j"), py::arg("solid") = true,
            "Makes a cell solid or fluid from the next tick; False for a cell at an opening, which stays.")
        .def(
            "save",
            [](PyRun& r, const py::object& path) {
                const std::string file = py::str(py::module_::import("os").attr("fspath")(path));
                std::string problem;
                if (!saveStateFile(file, r.ready().save(), problem))
                    raise(PyExc_OSError, problem);
            },
            py::arg("path"), "Writes the whole run to go on from with Run.resume or a program's --resume.")
        .def(
            "write_vtk",
            [](PyRun& r, const py::object& folder) {
                r.writeVtk(py::str(py::module_::import("os").attr("fspath")(folder)));
            },
            py::arg("folder"), "Adds this tick's fields to the ParaView series in folder (field-TICK.vti, flowbox.pvd).")
        .def(
            "frame",
            [](PyRun& r, const py::object& size, const std::string& view, bool arrows, bool particles) {
                std::pair<int, int> pixels = r.pictureSize();
                if (!size.is_none()) {
                    try {
                        pixels = size.cast<std::pair<int, int>>();
                    } catch (const py::cast_error&) {
                        throw py::type_error("frame: size is (width, height) in pixels");
                    }
                }
                const QImage image = r.picture(pixels.first, pixels.second, view, arrows, particles);
                py::array_t<uint8_t> rgb({py::ssize_t(image.height()), py::ssize_t(image.width()), py::ssize_t(3)});
                for (int row = 0; row < image.height(); ++row)
                    std::memcpy(rgb.mutable_data(row), image.constScanLine(row), size_t(image.width()) * 3);
                return rgb;
            },
            py::arg("size") = py::none(), py::arg("view") = "flow", py::arg("arrows") = true,
            py::arg("particles") = false,
            "What the window shows, as an RGB array of height x width x 3; size is (width, height), by "
            "default 600 pixels wide in the grid's proportions; particles: a liquid's particles too.")
        .def("_repr_png_",
             [](PyRun& r) {
                 const auto [width, height] = r.pictureSize();
                 QByteArray bytes;
                 QBuffer buffer(&bytes);
                 buffer.open(QIODevice::WriteOnly);
                 r.picture(width, height, "flow", true).save(&buffer, "PNG");
                 return py::bytes(bytes.constData(), size_t(bytes.size()));
             })
        .def("__repr__", [](const PyRun& r) {
            if (r.busy)
                return std::string("<flowbox.Run stepping>");
            const Scene& scene = r.run->scene();
            return "<flowbox.Run of " +
                   (scene.builtIn ? std::string("the standard box") : scene.name.empty() ? scene.file : scene.name) +
                   " at tick " + std::to_string(r.run->tick()) + ">";
        });
}
