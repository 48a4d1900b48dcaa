// The simulation for the web page: a run of a scene, stepped, touched,
// measured, saved and composed into frames for the page's script (page/app.js)
// to draw. The same sources as the desktop's, built by Emscripten, to the
// same bits.
#include "run/run.h"
#include "sim/measure/cell_fields.h"
#include "sim/saved/state_file.h"
#include "sim/scene/live_settings.h"
#include "sim/scene/scene_file.h"
#include "sim/tracers/tracers.h"
#include "view/frame.h"

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cmath>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

using emscripten::val;

namespace {

// The most cells a run in the page may have: a larger one would outgrow the
// memory a page is given and stop the module for good, where refused it
// leaves the run that was there.
constexpr uint64_t mostCells = 1024 * 1024;

// "" where the page can hold the scene's grid, else why not.
std::string tooLarge(const Scene& scene, const std::string& source)
{
    if (uint64_t(scene.nx) * scene.ny <= mostCells)
        return "";
    return source + ": " + std::to_string(scene.nx) + " x " + std::to_string(scene.ny) +
           " cells are more than the page can hold (" + std::to_string(mostCells) +
           " at most; the desktop program runs it)";
}

// The dye a hand pours, as the window's: an orange that reads on black and grey.
constexpr float pouredDye[3] = {1.0f, 0.55f, 0.1f};

// A copy that JavaScript owns.
template <typename T>
val arrayOf(const T* values, size_t count)
{
    const char* type = std::is_same<T, double>::value  ? "Float64Array"
                       : std::is_same<T, float>::value ? "Float32Array"
                                                       : "Uint8Array";
    return val::global(type).new_(emscripten::typed_memory_view(count, values)).template call<val>("slice");
}

val points(const std::vector<ScreenPoint>& list)
{
    return arrayOf(reinterpret_cast<const float*>(list.data()), list.size() * 2);
}

val segments(const std::vector<ScreenSegment>& list)
{
    return arrayOf(reinterpret_cast<const float*>(list.data()), list.size() * 4);
}

val field(const GridArray& array)
{
    return arrayOf(array.data.get(), array.size());
}

class WebRun {
public:
    WebRun() : current(std::make_unique<Run>(Scene::standard())) {}

    // Runs the scene in text from its start; "" when it did, else its one
    // line with its line and column, the run that was there left as it was.
    std::string open(const std::string& text, const std::string& source)
    {
        Scene scene;
        std::string error;
        if (!parseScene(text, source, scene, error))
            return error;
        if (const std::string problem = tooLarge(scene, source); !problem.empty())
            return problem;
        show(std::make_unique<Run>(scene));
        return "";
    }

    void openStandard() { show(std::make_unique<Run>(Scene::standard())); }

    // Goes on from a saved run's bytes; "" when it did, else why not, the run left as it was.
    std::string resume(const std::string& bytes, const std::string& source)
    {
        SavedRun saved;
        std::string error;
        if (!readState(bytes, source, Trail::capacity, saved, error))
            return error;
        if (const std::string problem = tooLarge(saved.scene, source); !problem.empty())
            return problem;
        auto next = std::make_unique<Run>(saved.scene);
        if (!next->resume(saved, error))
            return source + ": " + error;
        show(std::move(next));
        return "";
    }

    // The run as a state file's bytes, as the desktop writes and reads them.
    val save() const
    {
        const std::string bytes = writeState(current->save());
        return arrayOf(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }

    // The scene as it stands, its drawn walls written as solids; or "" with
    // the problem in problem().
    std::string sceneText()
    {
        Scene out;
        if (!sceneWithSolidCells(current->scene(), current->solver().domain.solidCells(), out, lastProblem))
            return "";
        return out.text;
    }
    std::string problem() const { return lastProblem; }

    void step(int ticks)
    {
        for (int k = 0; k < ticks; ++k)
            current->step();
    }
    void restart() { current->restart(); }

    // The built-in standard box is not touched, as in its own window.
    bool touchable() const { return !current->scene().builtIn; }
    std::string name() const { return current->scene().name; }
    double cellSize() const { return current->solver().dx; }
    int cellsX() const { return int(current->solver().nx); }
    int cellsY() const { return int(current->solver().ny); }
    double timeStep() const { return current->scene().timeStep; }
    bool hasLiquid() const { return current->solver().liquid != nullptr; }

    // What a hand does, at (x, y) in length units; the velocity in length units a unit of time.
    void push(double x, double y, double vx, double vy)
    {
        if (touchable())
            current->solver().push({x, y, vx, vy});
    }
    bool setSolid(int i, int j, bool solid)
    {
        FluidSolver& solver = current->solver();
        if (!touchable() || i < 0 || j < 0 || i >= int(solver.nx) || j >= int(solver.ny))
            return false;
        return solver.setSolid(uint32_t(i), uint32_t(j), solid);
    }
    void pour(double x, double y, double vx, double vy)
    {
        FluidSolver& solver = current->solver();
        if (!touchable())
            return;
        const double reach = solver.scene.interaction.radius * solver.dx;
        if (solver.liquid)
            solver.liquid->pourAt(x, y, reach, {vx, vy});
        else
            solver.pourDye(x, y, reach, pouredDye);
    }

    // The settings a person may change while it runs, and a change to one:
    // "" when the run goes on with it, else the one line that refused it.
    val settings() const
    {
        val list = val::array();
        for (const LiveSetting& setting : liveSettings(current->scene())) {
            val one = val::object();
            one.set("label", setting.label);
            one.set("path", setting.path);
            one.set("text", setting.text);
            list.call<void>("push", one);
        }
        return list;
    }
    std::string changeSetting(const std::string& path, const std::string& text)
    {
        std::string problem;
        return current->changeSetting(path, text, problem) ? "" : problem;
    }

    // What flowbox-headless prints after a tick, less the time it took, with
    // the forces, probes and Nusselt numbers the scene measures.
    val tickLine() const
    {
        const FluidSolver& solver = current->solver();
        const SolveOutcome& solve = solver.lastPressureSolve();
        const FlowSummary summary = current->summary();
        val line = val::object();
        line.set("tick", double(current->tick()));
        line.set("converged", solve.converged);
        line.set("iterations", solve.iterations);
        line.set("residual", solve.residual);
        line.set("tolerance", solve.tolerance);
        line.set("max_divergence", summary.maxDivergence);
        line.set("max_speed", summary.maxSpeed);
        line.set("kinetic_energy", summary.kineticEnergy);
        line.set("tracers", double(current->tracers().size()));
        if (!current->forces().empty()) {
            val forces = val::array();
            for (const BodyForce& force : current->forces())
                forces.call<void>("push", val::array(std::vector<double>{force.x, force.y}));
            line.set("forces", forces);
        }
        const std::vector<ProbeReading> probes = current->probes();
        if (!probes.empty()) {
            val readings = val::array();
            for (const ProbeReading& reading : probes) {
                val one = val::object();
                one.set("u", reading.u);
                one.set("v", reading.v);
                one.set("p", reading.p);
                readings.call<void>("push", one);
            }
            line.set("probes", readings);
        }
        const std::vector<WallNusselt> walls = current->nusselt();
        if (!walls.empty()) {
            val nusselt = val::object();
            for (const WallNusselt& wall : walls)
                nusselt.set(sideName(wall.side), wall.value);
            line.set("nusselt", nusselt);
        }
        if (solver.liquid) {
            line.set("liquid_area", solver.liquid->area());
            line.set("liquid_largest_speed", solver.liquid->largestSpeed());
            line.set("liquid_particles", double(solver.liquid->particles().size()));
            line.set("liquid_surface_shift", solver.liquid->lastSurfaceShift());
        }
        return line;
    }

    // The fields as flowbox-headless --dump prints them.
    val fields() const
    {
        const FluidSolver& solver = current->solver();
        val out = val::object();
        out.set("u", field(solver.velocity->u));
        out.set("v", field(solver.velocity->v));
        out.set("pressure", field(solver.pressure->values));
        if (solver.heat)
            out.set("temperature", field(solver.heat->temperature));
        if (solver.dye)
            for (int c = 0; c < 3; ++c)
                out.set("dye_" + std::string("rgb").substr(size_t(c), 1), field(solver.dye->channel[c]));
        return out;
    }

    // The field views this run has: "flow" first, then each field's name.
    val views() const
    {
        val names = val::array();
        names.call<void>("push", std::string("flow"));
        for (int f = 0; f < cellFieldCount; ++f)
            if (hasField(current->solver(), CellField(f)))
                names.call<void>("push", std::string(cellFieldName(CellField(f))));
        return names;
    }

    // The frame the window would draw at width by height logical pixels;
    // options: arrows, grid, particles, dye, temperature (truth values) and
    // view (a name of views()).
    val compose(int width, int height, const val& options)
    {
        FrameOptions shown;
        shown.arrows = options["arrows"].as<bool>();
        shown.grid = options["grid"].as<bool>();
        shown.particles = options["particles"].as<bool>();
        shown.dye = options["dye"].as<bool>();
        shown.temperature = options["temperature"].as<bool>();
        const std::string view = options["view"].as<std::string>();
        for (int f = 0; f < cellFieldCount; ++f)
            if (view == cellFieldName(CellField(f)))
                shown.field = CellField(f);
        composeFrame(current->solver(), uint32_t(width), uint32_t(height), frame, shown);
        composeTrails(current->tracers(), frame);
        val out = val::object();
        out.set("width", frame.width);
        out.set("height", frame.height);
        out.set("cellSize", frame.cellSize);
        out.set("grid", segments(frame.grid));
        out.set("arrows", segments(frame.arrows));
        out.set("dots", points(frame.dots));
        out.set("solids", points(frame.solids));
        out.set("liquid", points(frame.liquid));
        out.set("air", points(frame.air));
        out.set("particles", points(frame.particles));
        val outlines = val::array();
        for (const std::vector<ScreenPoint>& outline : frame.discOutlines)
            outlines.call<void>("push", points(outline));
        out.set("discOutlines", outlines);
        val trails = val::array();
        for (size_t t = 0; t + 1 < frame.trailStarts.size(); ++t) {
            std::vector<float> strip;
            for (uint32_t k = frame.trailStarts[t]; k < frame.trailStarts[t + 1]; ++k) {
                const TrailVertex& vertex = frame.trailVertices[k];
                strip.insert(strip.end(), {vertex.point.x, vertex.point.y, vertex.colour.red, vertex.colour.green,
                                           vertex.colour.blue, vertex.colour.alpha});
            }
            trails.call<void>("push", arrayOf(strip.data(), strip.size()));
        }
        out.set("trails", trails);
        out.set("cellColours", arrayOf(frame.cellColours.data(), frame.cellColours.size()));
        out.set("cellColumns", frame.cellColumns);
        out.set("cellRows", frame.cellRows);
        const ColourBar& bar = frame.colourBar;
        if (bar.shown) {
            val scale = val::object();
            scale.set("title", bar.title);
            scale.set("units", bar.units);
            scale.set("low", bar.low);
            scale.set("high", bar.high);
            scale.set("colours", arrayOf(bar.colours.data(), bar.colours.size()));
            scale.set("across", bar.across);
            scale.set("x", bar.x);
            scale.set("y", bar.y);
            scale.set("width", bar.width);
            scale.set("height", bar.height);
            out.set("colourBar", scale);
        }
        return out;
    }

private:
    void show(std::unique_ptr<Run> next)
    {
        current = std::move(next);
        if (touchable())
            current->solver().enableDye();  // for the dye a hand pours, as in the window (none in a liquid)
        frame = Frame{};
    }

    std::unique_ptr<Run> current;
    Frame frame;  // reused from frame to frame, so that a field view's range moves gently
    std::string lastProblem;
};

// The picture's colours and dot size, as the window draws them: CSS colours.
val palette()
{
    auto css = [](FrameColour c) {
        return "rgb(" + std::to_string(int(std::lround(c.red * 255))) + ", " +
               std::to_string(int(std::lround(c.green * 255))) + ", " + std::to_string(int(std::lround(c.blue * 255))) +
               ")";
    };
    val colours = val::object();
    colours.set("grid", css(gridColour));
    colours.set("arrow", css(arrowColour));
    colours.set("dot", css(dotColour));
    colours.set("solid", css(solidColour));
    colours.set("liquid", css(liquidColour));
    colours.set("air", css(airColour));
    colours.set("particle", css(particleColour));
    colours.set("dotSize", dotSize);
    return colours;
}

}  // namespace

EMSCRIPTEN_BINDINGS(flowbox)
{
    emscripten::function("palette", &palette);
    emscripten::class_<WebRun>("Run")
        .constructor<>()
        .function("open", &WebRun::open)
        .function("openStandard", &WebRun::openStandard)
        .function("resume", &WebRun::resume)
        .function("save", &WebRun::save)
        .function("sceneText", &WebRun::sceneText)
        .function("problem", &WebRun::problem)
        .function("step", &WebRun::step)
        .function("restart", &WebRun::restart)
        .function("touchable", &WebRun::touchable)
        .function("name", &WebRun::name)
        .function("cellSize", &WebRun::cellSize)
        .function("cellsX", &WebRun::cellsX)
        .function("cellsY", &WebRun::cellsY)
        .function("timeStep", &WebRun::timeStep)
        .function("hasLiquid", &WebRun::hasLiquid)
        .function("push", &WebRun::push)
        .function("setSolid", &WebRun::setSolid)
        .function("pour", &WebRun::pour)
        .function("settings", &WebRun::settings)
        .function("changeSetting", &WebRun::changeSetting)
        .function("tickLine", &WebRun::tickLine)
        .function("fields", &WebRun::fields)
        .function("views", &WebRun::views)
        .function("compose", &WebRun::compose);
}
