// What a scene asks of the run beyond its physics: probes, the field views'
// ranges, the hand's reach, the solver and the tracers.
#include "sim/scene/scene_sections.h"

#include <cstring>

bool readProbe(TomlReader& reader, const toml::table& entry, Scene& scene)
{
    if (!reader.onlyKnownKeys(entry, " in [[probe]]", {"point"}))
        return false;
    const toml::node* point = entry.get("point");
    if (!point)
        return reader.fail(entry, "a [[probe]] needs a point = [x, y]");
    double at[2];
    if (!reader.pair(*point, "a probe's point", at))
        return false;
    scene.probes.push_back({at[0], at[1]});
    return true;
}

bool readView(TomlReader& reader, const toml::table& view, Scene& scene)
{
    if (!reader.onlyKnownKeys(view, " in [view]", {"range"}))
        return false;
    const toml::node* rangeNode = view.get("range");
    if (!rangeNode)
        return true;
    const toml::table* ranges = rangeNode->as_table();
    if (!ranges)
        return reader.fail(*rangeNode, "[view.range] must be a table");
    if (!reader.onlyKnownKeys(*ranges, " in [view.range]", {"speed", "vorticity", "pressure", "dye", "temperature"}))
        return false;
    for (int f = 0; f < cellFieldCount; ++f) {
        const char* name = cellFieldName(CellField(f));
        double ends[2];
        if (const toml::node* node = ranges->get(name)) {
            if (!reader.pair(*node, std::string("[view.range] ") + name, ends))
                return false;
            scene.viewRange[f] = {ends[0], ends[1]};
        }
    }
    return true;
}

bool readInteraction(TomlReader& reader, const toml::table& interaction, Scene& scene)
{
    return reader.onlyKnownKeys(interaction, " in [interaction]", {"radius", "strength"}) &&
           reader.optionalNumber(interaction, "radius", "[interaction] radius", scene.interaction.radius) &&
           reader.optionalNumber(interaction, "strength", "[interaction] strength", scene.interaction.strength);
}

bool readSolver(TomlReader& reader, const toml::table& solver, Scene& scene)
{
    int64_t limit = scene.iterationLimit;
    if (!reader.onlyKnownKeys(solver, " in [solver]",
                       {"tolerance", "iteration_limit", "preconditioner", "pressure_start", "viscosity_start"}) ||
        !reader.optionalNumber(solver, "tolerance", "[solver] tolerance", scene.tolerance) ||
        !reader.optionalWhole(solver, "iteration_limit", "[solver] iteration_limit", INT32_MIN, INT32_MAX, limit))
        return false;
    scene.iterationLimit = int32_t(limit);
    if (const toml::node* preconditioner = solver.get("preconditioner")) {
        const auto* text = preconditioner->as_string();
        if (text && text->get() == "incomplete-cholesky")
            scene.preconditioner = pcg::Preconditioner::incompleteCholesky;
        else if (text && text->get() == "multigrid")
            scene.preconditioner = pcg::Preconditioner::multigrid;
        else
            return reader.fail(*preconditioner, "[solver] preconditioner must be \"incomplete-cholesky\" or \"multigrid\"");
    }
    for (const char* key : {"pressure_start", "viscosity_start"}) {
        const toml::node* start = solver.get(key);
        if (!start)
            continue;
        const auto* text = start->as_string();
        if (!text || (text->get() != "previous" && text->get() != "zero"))
            return reader.fail(*start, std::string("[solver] ") + key + " must be \"previous\" or \"zero\"");
        (std::strcmp(key, "pressure_start") == 0 ? scene.pressureFromPrevious : scene.viscosityFromPrevious) =
            text->get() == "previous";
    }
    return true;
}

bool readTracers(TomlReader& reader, const toml::table& tracers, Scene& scene)
{
    int64_t count = scene.tracerCount;
    if (!reader.onlyKnownKeys(tracers, " in [tracers]", {"count"}) ||
        !reader.optionalWhole(tracers, "count", "[tracers] count", 0, UINT32_MAX, count))
        return false;
    scene.tracerCount = uint32_t(count);
    return true;
}
