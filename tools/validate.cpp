// flowbox-validate: one validation flow, one JSON line of results.
//
//   flowbox-validate cavity --cells N --reynolds RE [--scheme linear|maccormack|hybrid]
//                    [--steady RATE] [--time-limit T] [--profiles FILE]
//   flowbox-validate taylor-green --cells N [--scheme S] [--viscosity NU] [--duration T] [--courant C]
//   flowbox-validate poiseuille --cells N [--scheme S] [--viscosity NU]
//   flowbox-validate cylinder --reynolds 20|100 --cells N [--scheme S] [--surface cut|cells]
//                    [--step DT] [--steady RATE] [--duration T] [--history FILE]
//   flowbox-validate heated-cavity --rayleigh RA --cells N [--scheme S] [--courant C] [--steady RATE]
//                    [--time-limit T]
//   flowbox-validate onset --rayleigh RA --cells N [--step DT] [--duration T]
//   flowbox-validate liquid --case rest|wave|blob|dam --cells N [--depth D] [--viscosity NU] [--amplitude A] [--step DT]
//                    [--step DT] [--settle T]
//
// The cavity is the shipped cavity scene on N by N cells against Ghia, Ghia
// and Shin's table for Re 100, 400 or 1000 (docs/validation/ghia1982-reRE.csv,
// found beside the shipped scenes, or any table named with --reference);
// the cylinder is Schaefer and Turek's benchmark (the shipped cylinder-re20
// or cylinder-re100 scene) on N cells per diameter, a multiple of 10;
// the heated cavity is de Vahl Davis's natural convection in a square (1983);
// onset measures how fast a small roll grows or decays in a layer heated from
// below. scripts/validate runs them all.

#include "sim/scene/scene_catalog.h"
#include "sim/scene/scene_file.h"
#include "validation/validation.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "flowbox-validate: %s\n", message.c_str());
    std::exit(2);
}

double number(const std::map<std::string, std::string>& options, const char* name, double fallback)
{
    const auto found = options.find(name);
    if (found == options.end())
        return fallback;
    char* end = nullptr;
    const double value = std::strtod(found->second.c_str(), &end);
    if (end == found->second.c_str() || *end != '\0' || !(value > 0.0))
        fail(std::string("--") + name + " takes a positive number, not '" + found->second + "'");
    return value;
}

const char* schemeName(AdvectionScheme scheme)
{
    switch (scheme) {
    case AdvectionScheme::macCormack:
        return "maccormack";
    case AdvectionScheme::hybrid:
        return "hybrid";
    case AdvectionScheme::linear:
        break;
    }
    return "linear";
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 2)
        fail("usage: flowbox-validate cavity|taylor-green|poiseuille|cylinder|heated-cavity|onset|liquid --cells N "
             "[options]");
    const std::string flow = argv[1];
    std::map<std::string, std::string> options;
    for (int k = 2; k < argc; k += 2) {
        if (std::strncmp(argv[k], "--", 2) != 0 || k + 1 >= argc)
            fail(std::string("expected --option value, not '") + argv[k] + "'");
        options[argv[k] + 2] = argv[k + 1];
    }
    const auto cells = uint32_t(number(options, "cells", 32));
    if (cells < 4 || cells > 1024)
        fail("--cells takes 4 to 1024");
    AdvectionScheme scheme = AdvectionScheme::linear;
    if (options.count("scheme") && options["scheme"] == "maccormack")
        scheme = AdvectionScheme::macCormack;
    else if (options.count("scheme") && options["scheme"] == "hybrid")
        scheme = AdvectionScheme::hybrid;
    else if (options.count("scheme") && options["scheme"] != "linear")
        fail("--scheme takes linear, maccormack or hybrid");

    if (flow == "cavity") {
        const std::vector<std::string> folders = sceneFolders();
        Scene base;
        std::string error;
        if (!loadSceneFile(options.count("scene") ? options["scene"] : findScene("cavity", folders), base, error))
            fail(error);
        const double reynolds = number(options, "reynolds", 100.0);
        std::string table = options.count("reference") ? options["reference"] : std::string();
        if (table.empty()) {
            const bool tabulated = reynolds == 100.0 || reynolds == 400.0 || reynolds == 1000.0;
            if (!tabulated || folders.empty())
                fail("Ghia's tables are for Re 100, 400 and 1000; name another with --reference FILE");
            table = folders[0] + "/ghia1982-re" + std::to_string(int(reynolds)) + ".csv";
        }
        std::vector<validation::ReferencePoint> reference;
        if (!validation::readReference(table, reference, error))
            fail(error);
        const Scene scene = validation::cavityOn(base, cells, reynolds, scheme);
        if (const std::string problem = scene.problem(); !problem.empty())
            fail(problem);
        Run simulation(scene);
        const FluidSolver& solver = simulation.solver();
        const validation::SteadyRun run = validation::runUntilSteady(simulation, number(options, "steady", 1e-4),
                                                                      number(options, "time-limit", 200.0));
        const validation::Differences d = validation::compareWithReference(solver, reference);
        std::printf("{\"flow\": \"cavity\", \"cells\": %u, \"reynolds\": %g, \"scheme\": \"%s\", \"steady\": %s, "
                    "\"time\": %g, \"ticks\": %llu, \"change_rate\": %g, \"largest_u\": %.6f, \"rms_u\": %.6f, "
                    "\"largest_v\": %.6f, \"rms_v\": %.6f}\n",
                    cells, reynolds, schemeName(scheme), run.steady ? "true" : "false", run.time,
                    (unsigned long long)run.ticks, run.changeRate, d.largestU, d.rmsU, d.largestV, d.rmsV);
        if (options.count("profiles")) {
            FILE* out = std::fopen(options["profiles"].c_str(), "w");
            if (!out)
                fail("cannot write " + options["profiles"]);
            std::fprintf(out, "# position  u(x=0.5, y=position)  v(x=position, y=0.5), Ghia's coordinates\n");
            for (int k = 0; k <= 200; ++k) {
                const double at = k / 200.0;
                std::fprintf(out, "%.5f %.6f %.6f\n", at, validation::cavityU(solver, at),
                             validation::cavityV(solver, at));
            }
            std::fclose(out);
        }
        return run.steady ? 0 : 3;
    }
    if (flow == "taylor-green") {
        const double viscosity = number(options, "viscosity", 0.01);
        const validation::Decay decay =
            validation::taylorGreenDecay(cells, viscosity, number(options, "duration", 1.0), scheme,
                                         number(options, "courant", 0.5));
        std::printf("{\"flow\": \"taylor-green\", \"cells\": %u, \"scheme\": \"%s\", \"viscosity\": %g, "
                    "\"measured_rate\": %.6f, \"exact_rate\": %.6f, \"relative_error\": %.6f}\n",
                    cells, schemeName(scheme), viscosity, decay.measured, decay.exact, decay.relativeError());
        return 0;
    }
    if (flow == "poiseuille") {
        const double viscosity = number(options, "viscosity", 0.05);
        const validation::ChannelProfile profile = validation::poiseuille(cells, viscosity, scheme);
        std::printf("{\"flow\": \"poiseuille\", \"cells\": %u, \"scheme\": \"%s\", \"viscosity\": %g, \"steady\": %s, "
                    "\"largest_difference\": %.6f}\n",
                    cells, schemeName(scheme), viscosity, profile.steady ? "true" : "false", profile.largestDifference);
        return profile.steady ? 0 : 3;
    }
    if (flow == "cylinder") {
        const double reynolds = number(options, "reynolds", 20.0);
        if (reynolds != 20.0 && reynolds != 100.0)
            fail("the cylinder benchmark is at Re 20 (steady) or 100 (shedding)");
        if (cells % 10 != 0)
            fail("--cells (per diameter) takes a multiple of 10");
        Scene base;
        std::string error;
        const std::string name = reynolds == 20.0 ? "cylinder-re20" : "cylinder-re100";
        if (!loadSceneFile(findScene(name, sceneFolders()), base, error))
            fail(error);
        if (!options.count("scheme"))
            scheme = base.advection;
        Scene scene = validation::cylinderOn(base, cells, scheme);
        // The disc cuts the cells it crosses, as the scene says, or takes the cells whose centres it holds.
        if (options.count("surface")) {
            if (options["surface"] != "cut" && options["surface"] != "cells")
                fail("--surface takes cut or cells");
            scene.discs[0].cut = options["surface"] == "cut";
        }
        scene.timeStep = number(options, "step", scene.timeStep);
        if (const std::string problem = scene.problem(); !problem.empty())
            fail(problem);
        Run simulation(scene);
        const double mean = 2.0 / 3.0 * scene.inflows[0].speed;
        if (reynolds == 20.0) {
            const validation::SteadyCylinder run = validation::steadyCylinder(
                simulation, mean, number(options, "steady", 1e-4), number(options, "time-limit", 60.0));
            std::printf("{\"flow\": \"cylinder\", \"reynolds\": 20, \"cells\": %u, \"scheme\": \"%s\", "
                        "\"surface\": \"%s\", \"step\": %g, \"steady\": %s, \"time\": %g, \"drag\": %.5f, \"lift\": %.6f, \"pressure_drop\": %.5f, "
                        "\"recirculation\": %.5f}\n",
                        cells, schemeName(scheme), scene.discs[0].cut ? "cut" : "cells", scene.timeStep,
                        run.steady ? "true" : "false",
                        run.time, run.coefficients.drag,
                        run.coefficients.lift, run.coefficients.pressureDrop, run.recirculation);
            return run.steady ? 0 : 3;
        }
        const validation::PeriodicCylinder run =
            validation::periodicCylinder(simulation, mean, number(options, "duration", 8.0));
        if (options.count("history")) {
            FILE* out = std::fopen(options["history"].c_str(), "w");
            if (!out)
                fail("cannot write " + options["history"]);
            std::fprintf(out, "# time  drag coefficient  lift coefficient  pressure drop\n");
            for (size_t k = 0; k < run.history.size(); ++k)
                std::fprintf(out, "%.5f %.6f %.6f %.6f\n", double(k + 1) * scene.timeStep, run.history[k].drag,
                             run.history[k].lift, run.history[k].pressureDrop);
            std::fclose(out);
        }
        std::printf("{\"flow\": \"cylinder\", \"reynolds\": 100, \"cells\": %u, \"scheme\": \"%s\", "
                    "\"surface\": \"%s\", \"periodic\": %s, \"strouhal\": %.5f, \"largest_drag\": %.5f, \"largest_lift\": %.5f, "
                    "\"pressure_drop\": %.5f}\n",
                    cells, schemeName(scheme), scene.discs[0].cut ? "cut" : "cells", run.periodic ? "true" : "false",
                    run.strouhal, run.largestDrag,
                    run.largestLift, run.pressureDrop);
        return run.periodic ? 0 : 3;
    }
    if (flow == "heated-cavity") {
        const double rayleigh = number(options, "rayleigh", 1e5);
        const AdvectionScheme chosen = options.count("scheme") ? scheme : AdvectionScheme::macCormack;
        Run simulation(validation::heatedCavity(cells, rayleigh, chosen, number(options, "courant", 1.4)));
        const validation::Convection run = validation::steadyConvection(
            simulation, number(options, "steady", 1e-5), number(options, "time-limit", 3000.0));
        std::printf("{\"flow\": \"heated-cavity\", \"rayleigh\": %g, \"cells\": %u, \"scheme\": \"%s\", "
                    "\"steady\": %s, \"time\": %g, \"nusselt\": %.5f, \"largest_u\": %.4f, \"at_y\": %.4f, "
                    "\"largest_v\": %.4f, \"at_x\": %.4f}\n",
                    rayleigh, cells, schemeName(simulation.scene().advection), run.steady ? "true" : "false", run.time,
                    run.nusselt, run.largestU, run.atY, run.largestV, run.atX);
        return run.steady ? 0 : 3;
    }
    if (flow == "onset") {
        const double rayleigh = number(options, "rayleigh", 1707.76);
        Run simulation(validation::convectionLayer(cells, rayleigh, number(options, "step", 0.02)));
        validation::disturbLayer(simulation.solver(), 1e-3);
        const double rate = validation::growthRate(simulation, number(options, "duration", 60.0));
        std::printf("{\"flow\": \"onset\", \"rayleigh\": %g, \"cells\": %u, \"growth_rate\": %.6f}\n", rayleigh,
                    cells, rate);
        return 0;
    }
    if (flow == "liquid") {
        const std::string which = options.count("case") ? options["case"] : "";
        if (which == "rest") {
            const validation::StillLiquid still = validation::stillLiquid(
                cells, cells * 3 / 4, number(options, "depth", 0.5), number(options, "step", 0.32 / cells), 10.0);
            std::printf("{\"flow\": \"liquid\", \"case\": \"rest\", \"cells\": %u, \"depth\": %.5f, "
                        "\"start_area\": %.6f, \"largest_speed\": %.3g, \"of_sqrt_gh\": %.3g, "
                        "\"surface_spread_cells\": %.4f, \"floor_pressure\": %.3f, \"hydrostatic\": %.3f}\n",
                        cells, still.depth, still.startArea, still.largestSpeed,
                        still.largestSpeed / std::sqrt(9.8 * still.depth), still.surfaceSpread, still.floorPressure,
                        still.hydrostatic);
            return 0;
        }
        if (which == "wave") {
            const double depth = number(options, "depth", 0.5);
            const double viscosity = number(options, "viscosity", 0.0);
            const validation::StandingWave wave =
                validation::standingWave(cells, depth, number(options, "amplitude", 0.01), viscosity);
            const double pi = std::acos(-1.0);
            std::printf("{\"flow\": \"liquid\", \"case\": \"wave\", \"cells\": %u, \"depth\": %g, "
                        "\"viscosity\": %g, \"period\": %.5f, \"theory\": %.5f, \"error\": %.5f, "
                        "\"last_half_swing\": %.5f, \"decay_rate\": %.5f, \"lamb_decay_rate\": %.5f, "
                        "\"area_change\": %.5f, \"floor_swing\": %.3f, \"floor_largest_change\": %.3f}\n",
                        cells, depth, viscosity, wave.period, wave.theory, wave.period / wave.theory - 1.0,
                        wave.lastAmplitude, wave.decayRate, 2.0 * viscosity * pi * pi,
                        wave.area[1] / wave.area[0] - 1.0, wave.floorSwing, wave.floorLargestChange);
            return 0;
        }
        if (which == "blob") {
            const validation::ThrownBlob blob = validation::thrownBlob(cells, number(options, "step", 0.064 / cells));
            std::printf("{\"flow\": \"liquid\", \"case\": \"blob\", \"cells\": %u, \"farthest_cells\": %.4f, "
                        "\"surface_farthest_cells\": %.4f, \"surface_from_particles_cells\": %.4f, "
                        "\"area_change\": %.5f, \"largest_shift_cells\": %.4f}\n",
                        cells, blob.farthest, blob.surfaceFarthest, blob.surfaceFromParticles, blob.areaChange,
                        blob.largestShift);
            return 0;
        }
        if (which == "dam") {
            const validation::DamBreak dam = validation::damBreak(cells, number(options, "settle", 0.0));
            std::printf("{\"flow\": \"liquid\", \"case\": \"dam\", \"cells\": %u, \"area_change\": %.5f, "
                        "\"largest_shift_cells\": %.4f, \"last_speed\": %.4f, \"against\": [",
                        cells, dam.areaChange, dam.largestShift, dam.lastSpeed);
            const char* separator = "";
            for (const auto* table : {&validation::martinMoyceFront, &validation::koshizukaOkaFront})
                for (const auto& [t, z] : *table) {
                    // null where the front had reached the far wall before T.
                    const double ours = validation::frontAt(dam, t);
                    char oursText[32] = "null";
                    if (std::isfinite(ours))
                        std::snprintf(oursText, sizeof oursText, "%.3f", ours);
                    std::printf("%s{\"source\": \"%s\", \"T\": %.3f, \"Z\": %.3f, \"flowbox_Z\": %s}", separator,
                                table == &validation::martinMoyceFront ? "martin-moyce" : "koshizuka-oka", t, z,
                                oursText);
                    separator = ", ";
                }
            std::printf("]}\n");
            return 0;
        }
        fail("--case takes rest, wave, blob or dam");
    }
    fail("no flow '" + flow + "' (cavity, taylor-green, poiseuille, cylinder, heated-cavity, onset, liquid)");
}
