#include "sim/scene/scene_file.h"

#include "sim/scene/scene_sections.h"
#include "sim/scene/toml_reader.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// A table of the root read by readTable, when the file has it.
template <typename ReadTable>
bool section(TomlReader& reader, const toml::table& root, const char* key, ReadTable readTable, Scene& scene)
{
    bool ok = true;
    const toml::table* found = reader.table(root, key, ok);
    return ok && (!found || readTable(reader, *found, scene));
}

// Where in the file the key of a scene's problem lies: the node it names,
// else the nearest one above it that the file has; nowhere for none.
toml::source_region placeOf(const toml::table& root, const Scene& scene, std::string key)
{
    // The scene counts rectangles and discs apart; the file counts [[solid]] entries.
    for (const char* kind : {"rectangle", "disc"}) {
        const std::string prefix = std::string(kind) + "[";
        if (key.compare(0, prefix.size(), prefix) != 0)
            continue;
        const size_t close = key.find(']');
        const uint32_t k = uint32_t(std::stoul(key.substr(prefix.size(), close - prefix.size())));
        const bool disc = std::string(kind) == "disc";
        size_t entry = 0;
        while (entry < scene.solidOrder.size() &&
               !(scene.solidOrder[entry].disc == disc && scene.solidOrder[entry].index == k))
            ++entry;
        key = "solid[" + std::to_string(entry) + "]." + kind + key.substr(close + 1);
    }
    while (!key.empty()) {
        if (const toml::node* node = root.at_path(key).node())
            return node->source();
        const size_t last = key.find_last_of(".[");
        key.erase(last == std::string::npos ? 0 : last);
    }
    return {};
}

// The file's root: its name, then each section in the format's order, then
// the scene's own judgement of the values read.
bool readScene(TomlReader& reader, const toml::table& root, Scene& scene)
{
    if (!reader.onlyKnownKeys(root, "",
                              {"name", "grid", "fluid", "time", "advection", "walls", "inflow", "outflow", "outlet",
                               "solid", "probe", "liquid", "heat", "solver", "tracers", "interaction", "view"}))
        return false;
    if (const toml::node* name = root.get("name")) {
        if (!name->is_string())
            return reader.fail(*name, "name must be a string");
        scene.name = name->as_string()->get();
    }
    auto each = [&](const char* key, auto read) {
        return reader.eachTable(root, key, [&](const toml::table& entry) { return read(reader, entry, scene); });
    };
    const bool read =
        readGrid(reader, root, scene) && section(reader, root, "fluid", readFluid, scene) &&
        section(reader, root, "time", readTime, scene) && section(reader, root, "advection", readAdvection, scene) &&
        section(reader, root, "walls", readWalls, scene) &&
        reader.eachTable(root, "inflow",
                         [&](const toml::table& entry) { return readBand(reader, entry, true, scene.inflows); }) &&
        reader.eachTable(root, "outflow",
                         [&](const toml::table& entry) { return readBand(reader, entry, false, scene.outflows); }) &&
        each("outlet", readOutlet) && each("solid", readSolid) && each("probe", readProbe) &&
        each("liquid", readLiquid) && section(reader, root, "heat", readHeat, scene) &&
        section(reader, root, "interaction", readInteraction, scene) &&
        section(reader, root, "solver", readSolver, scene) && section(reader, root, "tracers", readTracers, scene) &&
        section(reader, root, "view", readView, scene);
    if (!read)
        return false;
    if (reader.firstTemperature() && !scene.heat.enabled)
        return reader.fail(*reader.firstTemperature(), "a temperature needs a [heat] table");
    // The values are the scene's to judge, as for a scene built in code.
    const SceneProblem problem = scene.firstProblem();
    return problem.message.empty() || reader.fail(placeOf(root, scene, problem.key), problem.message);
}

}  // namespace

bool parseScene(std::string_view text, const std::string& source, Scene& scene, std::string& error)
{
    // A file's own values over the standard box's, and no openings or solids unless it names them;
    // the pressure solve preconditioned by multigrid unless it asks for the factor, and
    // the pressure and viscosity solves started from the last tick's unless it asks for zero.
    scene = Scene::standard();
    scene.builtIn = false;
    scene.name.clear();
    scene.inflows.clear();
    scene.outflows.clear();
    scene.file = source;
    scene.text = std::string(text);
    scene.preconditioner = pcg::Preconditioner::multigrid;  // the factor's iterations grow with the grid
    scene.pressureFromPrevious = true;                        // half the iterations in a steady flow
    scene.viscosityFromPrevious = true;                       // a third of them
    TomlReader reader(source, error);
    if (const auto [line, column] = firstNonAscii(text); line > 0) {
        toml::source_region where;
        where.begin = {toml::source_index(line), toml::source_index(column)};
        return reader.fail(where, "a character beyond ASCII (scene files are ASCII)");
    }
    toml::parse_result parsed = toml::parse(text, source);
    if (!parsed)
        return reader.fail(parsed.error().source(), std::string(parsed.error().description()));
    return readScene(reader, parsed.table(), scene);
}

bool loadSceneFile(const std::string& path, Scene& scene, std::string& error)
{
    std::error_code failure;
    if (!std::filesystem::is_regular_file(path, failure)) {
        error = path + ": no such scene file";
        return false;
    }
    constexpr std::uintmax_t largestFile = 1 << 20;
    if (std::filesystem::file_size(path, failure) > largestFile && !failure) {
        error = path + ": too large for a scene file (more than 1 MiB)";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) {
        error = path + ": cannot be read";
        return false;
    }
    return parseScene(text.str(), path, scene, error);
}
