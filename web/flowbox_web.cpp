// The simulation for the web page: a run of a scene, stepped, measured and
// composed into frames for the page's script (page/app.js) to draw. The same
// sources as the desktop's, built by Emscripten, to the same bits.
#include "run/run.h"
#include "sim/scene/scene_file.h"
#include "view/frame.h"

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

using emscripten::val;

namespace {

// A copy that JavaScript owns.
template <typename T>
val arrayOf(const T* values, size_t count)
{
    return val::global(std::is_same<T, double>::value ? "Float64Array" : "Float32Array")
        .new_(emscripten::typed_memory_view(count, values))
        .template call<val>("slice");
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
        current = std::make_unique<Run>(scene);
        frame = Frame{};
        return "";
    }

    void openStandard()
    {
        current = std::make_unique<Run>(Scene::standard());
        frame = Frame{};
    }

    void step(int ticks)
    {
        for (int k = 0; k < ticks; ++k)
            current->step();
    }

    // What flowbox-headless prints after a tick, less the time it took.
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
        if (solver.liquid) {
            line.set("liquid_area", solver.liquid->area());
            line.set("liquid_largest_speed", solver.liquid->largestSpeed());
            line.set("liquid_particles", double(solver.liquid->particles().size()));
        }
        return line;
    }

    // The fields as flowbox-headless --dump prints them: u, v, pressure, and
    // temperature where the scene has heat.
    val fields() const
    {
        const FluidSolver& solver = current->solver();
        val out = val::object();
        out.set("nx", solver.nx);
        out.set("ny", solver.ny);
        out.set("u", field(solver.velocity->u));
        out.set("v", field(solver.velocity->v));
        out.set("pressure", field(solver.pressure->values));
        if (solver.heat)
            out.set("temperature", field(solver.heat->temperature));
        return out;
    }

    std::string name() const { return current->scene().name; }

    // The frame the window would draw at width by height logical pixels.
    val compose(int width, int height, bool arrows, bool grid, bool particles)
    {
        FrameOptions options;
        options.arrows = arrows;
        options.grid = grid;
        options.particles = particles;
        composeFrame(current->solver(), uint32_t(width), uint32_t(height), frame, options);
        composeTrails(current->tracers(), frame);
        val out = val::object();
        out.set("cellSize", frame.cellSize);
        out.set("grid", segments(frame.grid));
        out.set("arrows", segments(frame.arrows));
        out.set("dots", points(frame.dots));
        out.set("solids", points(frame.solids));
        out.set("liquid", points(frame.liquid));
        out.set("particles", points(frame.particles));
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
        return out;
    }

private:
    std::unique_ptr<Run> current;
    Frame frame;  // reused from frame to frame
};

}  // namespace

EMSCRIPTEN_BINDINGS(flowbox)
{
    emscripten::class_<WebRun>("Run")
        .constructor<>()
        .function("open", &WebRun::open)
        .function("openStandard", &WebRun::openStandard)
        .function("step", &WebRun::step)
        .function("tickLine", &WebRun::tickLine)
        .function("fields", &WebRun::fields)
        .function("name", &WebRun::name)
        .function("compose", &WebRun::compose);
}
