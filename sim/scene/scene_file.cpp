#include "sim/scene/scene_file.h"

// The parser's own failures come back as values, not exceptions.
#define TOML_EXCEPTIONS 0
#define TOML_HEADER_ONLY 1
// toml++ up to 3.4 asserts a precondition that a malformed table header such
// as "[#" or "[[[" breaks (fixed upstream in 2026), where its own key parser
// goes on to report a parse error. Its assertions are therefore off here, and
// NDEBUG is never defined for it, which would turn them into assumptions the
// compiler may build on. The fuzzer (tests/fuzz) holds the reader to this.
#ifdef NDEBUG
#undef NDEBUG
#endif
#define TOML_ASSERT(expr) static_cast<void>(0)
#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <tuple>
#include <utility>

namespace {

// Edits that turn a into b: for "did you mean" on unknown keys.
size_t editDistance(std::string_view a, std::string_view b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t k = 0; k <= b.size(); ++k)
        row[k] = k;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t k = 1; k <= b.size(); ++k) {
            const size_t above = row[k];
            row[k] = std::min({row[k] + 1, row[k - 1] + 1, diagonal + (a[i - 1] == b[k - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// toml++ up to 3.4 reaches an "unreachable" point (undefined behaviour) when
// it asks whether some characters beyond ASCII are blank, which it does
// outside strings and within them after a backslash. Rather than follow the
// parser's every turn, scene files are ASCII: the first byte beyond is
// refused before the parser sees the text. Returns its 1-based line and
// column, or line 0.
std::pair<size_t, size_t> firstNonAscii(std::string_view text)
{
    size_t line = 1, lineStart = 0;
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '\n') {
            ++line;
            lineStart = k + 1;
        } else if (static_cast<unsigned char>(text[k]) >= 0x80) {
            return {line, k - lineStart + 1};
        }
    }
    return {0, 0};
}

// The parser quotes what it saw, control characters and all: they are
// written out, so that a message stays on one line.
std::string oneLine(const std::string& text)
{
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            line += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(static_cast<unsigned char>(c)));
            line += escaped;
        } else {
            line += c;
        }
    }
    return line;
}

class SceneReader {
public:
    SceneReader(const std::string& source, std::string& error) : source(source), error(error) {}

    bool fail(const toml::source_region& where, const std::string& what)
    {
        if (where.begin.line > 0)
            error = source + ":" + std::to_string(where.begin.line) + ":" + std::to_string(where.begin.column) +
                    ": " + what;
        else
            error = source + ": " + what;
        error = oneLine(error);
        return false;
    }
    bool fail(const toml::node& node, const std::string& what) { return fail(node.source(), what); }

    // Every key of the table is one of known; the first that is not is named
    // with the nearest known one.
    bool onlyKnownKeys(const toml::table& table, const std::string& where, std::initializer_list<const char*> known)
    {
        for (auto&& [key, node] : table) {
            const std::string_view name = key.str();
            if (std::find_if(known.begin(), known.end(), [&](const char* k) { return name == k; }) != known.end())
                continue;
            const char* nearest = *known.begin();
            for (const char* k : known)
                if (editDistance(name, k) < editDistance(name, nearest))
                    nearest = k;
            return fail(key.source(), "unknown key \"" + std::string(name) + "\"" + where +
                                          " (the nearest known one is \"" + nearest + "\")");
        }
        return true;
    }

    const toml::table* table(const toml::table& parent, const char* key, bool& ok)
    {
        const toml::node* node = parent.get(key);
        if (!node)
            return nullptr;
        if (!node->is_table()) {
            ok = fail(*node, std::string("[") + key + "] must be a table");
            return nullptr;
        }
        return node->as_table();
    }

    bool number(const toml::node& node, const std::string& what, double& out)
    {
        if (const auto* real = node.as_floating_point())
            out = real->get();
        else if (const auto* whole = node.as_integer())
            out = double(whole->get());
        else
            return fail(node, what + " must be a number");
        if (!std::isfinite(out))
            return fail(node, what + " must be finite");
        return true;
    }

    bool optionalNumber(const toml::table& table, const char* key, const std::string& what, double& out)
    {
        const toml::node* node = table.get(key);
        return !node || number(*node, what, out);
    }

    // A whole number that the scene's field can hold, lowest to highest; what
    // the scene allows of it, the scene judges.
    bool whole(const toml::node& node, const std::string& what, int64_t lowest, int64_t highest, int64_t& out)
    {
        const auto* value = node.as_integer();
        if (!value)
            return fail(node, what + " must be a whole number");
        out = value->get();
        if (out < lowest)
            return fail(node, what + (lowest == 0 ? " must be a whole number of 0 or more" : " is too small") +
                                  ", not " + std::to_string(out));
        if (out > highest)
            return fail(node, what + " is too large: " + std::to_string(out));
        return true;
    }

    bool optionalWhole(const toml::table& table, const char* key, const std::string& what, int64_t lowest,
                       int64_t highest, int64_t& out)
    {
        const toml::node* node = table.get(key);
        return !node || whole(*node, what, lowest, highest, out);
    }

    // An array of exactly two numbers.
    bool pair(const toml::node& node, const std::string& what, double out[2])
    {
        const toml::array* array = node.as_array();
        if (!array || array->size() != 2)
            return fail(node, what + " must be an array of two numbers");
        return number(*array->get(0), what, out[0]) && number(*array->get(1), what, out[1]);
    }

    bool wholePair(const toml::node& node, const std::string& what, int64_t lowest, int64_t highest, int64_t out[2])
    {
        const toml::array* array = node.as_array();
        if (!array || array->size() != 2)
            return fail(node, what + " must be an array of two whole numbers");
        return whole(*array->get(0), what, lowest, highest, out[0]) &&
               whole(*array->get(1), what, lowest, highest, out[1]);
    }

    bool side(const toml::node& node, Side& out)
    {
        const auto* text = node.as_string();
        if (text) {
            for (Side s : {Side::left, Side::right, Side::top, Side::bottom}) {
                if (text->get() == sideName(s)) {
                    out = s;
                    return true;
                }
            }
        }
        return fail(node, "side must be \"left\", \"right\", \"top\" or \"bottom\"");
    }

    bool wall(const toml::node& node, const std::string& which, Wall& out)
    {
        if (const auto* text = node.as_string()) {
            if (text->get() == "slip")
                out = {Wall::Kind::slip, 0.0};
            else if (text->get() == "no-slip")
                out = {Wall::Kind::noSlip, 0.0};
            else
                return fail(node, "the " + which + " wall must be \"slip\", \"no-slip\" or { slide = speed }");
            return true;
        }
        const toml::table* slide = node.as_table();
        if (!slide || !slide->get("slide"))
            return fail(node, "the " + which + " wall must be \"slip\", \"no-slip\" or { slide = speed }");
        if (!onlyKnownKeys(*slide, " in the " + which + " wall", {"slide"}))
            return false;
        out.kind = Wall::Kind::sliding;
        return number(*slide->get("slide"), "the " + which + " wall's slide speed", out.slideSpeed);
    }

    // The side and cells of an opening.
    bool range(const toml::table& table, const std::string& what, SideRange& out)
    {
        const toml::node* sideNode = table.get("side");
        const toml::node* cells = table.get("cells");
        if (!sideNode || !cells)
            return fail(table, what + " needs side and cells");
        int64_t span[2];
        if (!side(*sideNode, out.side) || !wholePair(*cells, what + "'s cells", 0, UINT32_MAX, span))
            return false;
        out.first = uint32_t(span[0]);
        out.last = uint32_t(span[1]);
        return true;
    }

    // Each entry of an array of tables.
    template <typename Read>
    bool eachTable(const toml::table& root, const char* key, Read read)
    {
        const toml::node* node = root.get(key);
        if (!node)
            return true;
        const toml::array* array = node->as_array();
        if (!array)
            return fail(*node, std::string(key) + " must be written [[" + key + "]]");
        for (const toml::node& entry : *array) {
            if (!entry.is_table())
                return fail(entry, std::string(key) + " must be written [[" + key + "]]");
            if (!read(*entry.as_table()))
                return false;
        }
        return true;
    }

    bool read(const toml::table& root, Scene& scene)
    {
        if (!onlyKnownKeys(root, "",
                           {"name", "grid", "fluid", "time", "advection", "walls", "inflow", "outflow", "outlet",
                            "solid", "probe", "liquid", "heat", "solver", "tracers", "interaction", "view"}))
            return false;
        if (const toml::node* name = root.get("name")) {
            if (!name->is_string())
                return fail(*name, "name must be a string");
            scene.name = name->as_string()->get();
        }
        const bool read = readGrid(root, scene) && section(root, "fluid", &SceneReader::readFluid, scene) &&
                          section(root, "time", &SceneReader::readTime, scene) &&
                          section(root, "advection", &SceneReader::readAdvection, scene) &&
                          section(root, "walls", &SceneReader::readWalls, scene) &&
                          eachTable(root, "inflow", [&](const toml::table& entry) {
                              return readBand(entry, true, scene.inflows);
                          }) &&
                          eachTable(root, "outflow", [&](const toml::table& entry) {
                              return readBand(entry, false, scene.outflows);
                          }) &&
                          eachTable(root, "outlet", [&](const toml::table& entry) { return readOutlet(entry, scene); }) &&
                          eachTable(root, "solid", [&](const toml::table& entry) { return readSolid(entry, scene); }) &&
                          eachTable(root, "probe", [&](const toml::table& entry) { return readProbe(entry, scene); }) &&
                          eachTable(root, "liquid", [&](const toml::table& entry) { return readLiquid(entry, scene); }) &&
                          section(root, "heat", &SceneReader::readHeat, scene) &&
                          section(root, "interaction", &SceneReader::readInteraction, scene) &&
                          section(root, "solver", &SceneReader::readSolver, scene) &&
                          section(root, "tracers", &SceneReader::readTracers, scene) &&
                          section(root, "view", &SceneReader::readView, scene);
        if (!read)
            return false;
        if (firstTemperature && !scene.heat.enabled)
            return fail(*firstTemperature, "a temperature needs a [heat] table");
        // The values are the scene's to judge, as for a scene built in code.
        const SceneProblem problem = scene.firstProblem();
        return problem.message.empty() || fail(placeOf(root, problem.key), problem.message);
    }

    // A table of the root read by readTable, when the file has it.
    bool section(const toml::table& root, const char* key, bool (SceneReader::*readTable)(const toml::table&, Scene&),
                 Scene& scene)
    {
        bool ok = true;
        const toml::table* found = table(root, key, ok);
        return ok && (!found || (this->*readTable)(*found, scene));
    }

    bool readGrid(const toml::table& root, Scene& scene)
    {
        bool ok = true;
        const toml::table* grid = table(root, "grid", ok);
        if (!ok)
            return false;
        if (!grid || !grid->get("cells"))
            return fail(grid ? grid->source() : root.source(), "[grid] cells = [nx, ny] is required");
        int64_t cells[2];
        if (!onlyKnownKeys(*grid, " in [grid]", {"cells", "cell_size"}) ||
            !wholePair(*grid->get("cells"), "[grid] cells", 0, UINT32_MAX, cells) ||
            !optionalNumber(*grid, "cell_size", "[grid] cell_size", scene.cellSize))
            return false;
        scene.nx = uint32_t(cells[0]);
        scene.ny = uint32_t(cells[1]);
        return true;
    }

    bool readFluid(const toml::table& fluid, Scene& scene)
    {
        if (!onlyKnownKeys(fluid, " in [fluid]", {"density", "viscosity", "gravity"}) ||
            !optionalNumber(fluid, "density", "[fluid] density", scene.density) ||
            !optionalNumber(fluid, "viscosity", "[fluid] viscosity", scene.viscosity))
            return false;
        if (const toml::node* gravity = fluid.get("gravity")) {
            double g[2];
            if (!pair(*gravity, "[fluid] gravity", g))
                return false;
            scene.gravityX = g[0];
            scene.gravityY = g[1];
        }
        return true;
    }

    bool readTime(const toml::table& time, Scene& scene)
    {
        return onlyKnownKeys(time, " in [time]", {"step"}) &&
               optionalNumber(time, "step", "[time] step", scene.timeStep);
    }

    bool readAdvection(const toml::table& advection, Scene& scene)
    {
        if (!onlyKnownKeys(advection, " in [advection]", {"scheme"}))
            return false;
        const toml::node* scheme = advection.get("scheme");
        if (!scheme)
            return true;
        const auto* text = scheme->as_string();
        if (text && text->get() == "linear")
            scene.advection = AdvectionScheme::linear;
        else if (text && text->get() == "maccormack")
            scene.advection = AdvectionScheme::macCormack;
        else if (text && text->get() == "hybrid")
            scene.advection = AdvectionScheme::hybrid;
        else
            return fail(*scheme, "[advection] scheme must be \"linear\", \"maccormack\" or \"hybrid\"");
        return true;
    }

    bool readWalls(const toml::table& walls, Scene& scene)
    {
        if (!onlyKnownKeys(walls, " in [walls]", {"top", "bottom", "left", "right"}))
            return false;
        for (Side s : {Side::top, Side::bottom, Side::left, Side::right}) {
            Wall& wallOfSide = s == Side::top ? scene.top : s == Side::bottom ? scene.bottom
                                              : s == Side::left ? scene.left : scene.right;
            if (const toml::node* node = walls.get(sideName(s)); node && !wall(*node, sideName(s), wallOfSide))
                return false;
        }
        return true;
    }

    bool readBand(const toml::table& entry, bool inflow, std::vector<Band>& into)
    {
        const std::string what = inflow ? "an [[inflow]] band" : "an [[outflow]] band";
        Band band;
        if (!(inflow ? onlyKnownKeys(entry, " in [[inflow]]", {"side", "cells", "speed", "profile", "dye", "temperature", "liquid"})
                     : onlyKnownKeys(entry, " in [[outflow]]", {"side", "cells", "speed", "profile"})) ||
            !range(entry, what, band.range))
            return false;
        if (const toml::node* dye = entry.get("dye")) {
            const toml::array* colour = dye->as_array();
            double channel[3];
            if (!colour || colour->size() != 3 || !number(*colour->get(0), "dye", channel[0]) ||
                !number(*colour->get(1), "dye", channel[1]) || !number(*colour->get(2), "dye", channel[2]))
                return fail(*dye, "dye is [red, green, blue], each from 0 to 1");
            for (int c = 0; c < 3; ++c)
                band.dye[c] = float(channel[c]);
            band.pours = true;
        }
        if (const toml::node* profile = entry.get("profile")) {
            const auto* text = profile->as_string();
            if (text && text->get() == "uniform")
                band.profile = BandProfile::uniform;
            else if (text && text->get() == "parabolic")
                band.profile = BandProfile::parabolic;
            else
                return fail(*profile, what + "'s profile must be \"uniform\" or \"parabolic\"");
        }
        if (!optionalTemperature(entry, what + "'s temperature", band.temperature))
            return false;
        if (const toml::node* liquid = entry.get("liquid")) {
            const auto* pours = liquid->as_boolean();
            if (!pours)
                return fail(*liquid, what + "'s liquid is true (the band pours liquid: a tap) or false");
            band.poursLiquid = pours->get();
        }
        const toml::node* speed = entry.get("speed");
        if (!speed)
            return fail(entry, what + " needs a speed");
        if (!number(*speed, what + "'s speed", band.speed))
            return false;
        into.push_back(band);
        return true;
    }

    bool readOutlet(const toml::table& entry, Scene& scene)
    {
        SideRange outlet;
        if (!onlyKnownKeys(entry, " in [[outlet]]", {"side", "cells"}) || !range(entry, "an [[outlet]]", outlet))
            return false;
        scene.outlets.push_back(outlet);
        return true;
    }

    bool readSolid(const toml::table& entry, Scene& scene)
    {
        if (!onlyKnownKeys(entry, " in [[solid]]", {"disc", "rectangle", "temperature"}))
            return false;
        double temperature = std::nan("");
        if (!optionalTemperature(entry, "a solid's temperature", temperature))
            return false;
        const toml::node* disc = entry.get("disc");
        const toml::node* rectangle = entry.get("rectangle");
        if (!disc == !rectangle)
            return fail(entry, "a [[solid]] is either a disc or a rectangle");
        const size_t entryIndex = discEntries.size() + rectangleEntries.size();
        if (disc) {
            const toml::table* d = disc->as_table();
            if (!d || !d->get("centre") || !d->get("radius"))
                return fail(*disc, "a disc is { centre = [x, y], radius = r }");
            if (!onlyKnownKeys(*d, " in a disc", {"centre", "radius", "surface"}))
                return false;
            double centre[2];
            SolidDisc s;
            if (!pair(*d->get("centre"), "a disc's centre", centre) ||
                !number(*d->get("radius"), "a disc's radius", s.radius))
                return false;
            s.centreX = centre[0];
            s.centreY = centre[1];
            s.temperature = temperature;
            if (const toml::node* surface = d->get("surface")) {
                const auto* text = surface->as_string();
                if (text && text->get() == "cut")
                    s.cut = true;
                else if (!text || text->get() != "cells")
                    return fail(*surface, "a disc's surface must be \"cells\" or \"cut\"");
            }
            scene.solidOrder.push_back({true, uint32_t(scene.discs.size())});
            scene.discs.push_back(s);
            discEntries.push_back(entryIndex);
            return true;
        }
        const toml::table* r = rectangle->as_table();
        if (!r || !r->get("from") || !r->get("to"))
            return fail(*rectangle, "a rectangle is { from = [i, j], to = [i, j] }");
        if (!onlyKnownKeys(*r, " in a rectangle", {"from", "to"}))
            return false;
        int64_t from[2], to[2];
        if (!wholePair(*r->get("from"), "a rectangle's corner", 0, UINT32_MAX, from) ||
            !wholePair(*r->get("to"), "a rectangle's corner", 0, UINT32_MAX, to))
            return false;
        scene.solidOrder.push_back({false, uint32_t(scene.rectangles.size())});
        scene.rectangles.push_back(
            {uint32_t(from[0]), uint32_t(from[1]), uint32_t(to[0]), uint32_t(to[1]), temperature});
        rectangleEntries.push_back(entryIndex);
        return true;
    }

    bool readLiquid(const toml::table& entry, Scene& scene)
    {
        if (!onlyKnownKeys(entry, " in [[liquid]]", {"disc", "rectangle", "velocity"}))
            return false;
        const toml::node* disc = entry.get("disc");
        const toml::node* rectangle = entry.get("rectangle");
        if (!disc == !rectangle)
            return fail(entry, "a [[liquid]] is either a disc or a rectangle");
        LiquidRegion region;
        if (const toml::node* velocity = entry.get("velocity")) {
            double v[2];
            if (!pair(*velocity, "a liquid's velocity", v))
                return false;
            region.velocityX = v[0];
            region.velocityY = v[1];
        }
        if (disc) {
            const toml::table* d = disc->as_table();
            if (!d || !d->get("centre") || !d->get("radius"))
                return fail(*disc, "a liquid disc is { centre = [x, y], radius = r }");
            if (!onlyKnownKeys(*d, " in a liquid disc", {"centre", "radius"}))
                return false;
            double centre[2];
            if (!pair(*d->get("centre"), "a liquid disc's centre", centre) ||
                !number(*d->get("radius"), "a liquid disc's radius", region.radius))
                return false;
            region.disc = true;
            region.centreX = centre[0];
            region.centreY = centre[1];
        } else {
            const toml::table* r = rectangle->as_table();
            if (!r || !r->get("from") || !r->get("to"))
                return fail(*rectangle, "a liquid rectangle is { from = [x, y], to = [x, y] }");
            if (!onlyKnownKeys(*r, " in a liquid rectangle", {"from", "to"}))
                return false;
            double from[2], to[2];
            if (!pair(*r->get("from"), "a liquid rectangle's corner", from) ||
                !pair(*r->get("to"), "a liquid rectangle's corner", to))
                return false;
            region.fromX = from[0];
            region.fromY = from[1];
            region.toX = to[0];
            region.toY = to[1];
        }
        scene.liquid.push_back(region);
        return true;
    }

    bool readProbe(const toml::table& entry, Scene& scene)
    {
        if (!onlyKnownKeys(entry, " in [[probe]]", {"point"}))
            return false;
        const toml::node* point = entry.get("point");
        if (!point)
            return fail(entry, "a [[probe]] needs a point = [x, y]");
        double at[2];
        if (!pair(*point, "a probe's point", at))
            return false;
        scene.probes.push_back({at[0], at[1]});
        return true;
    }

    // A band's or a solid's temperature, which only a scene with heat takes.
    bool optionalTemperature(const toml::table& entry, const std::string& what, double& out)
    {
        const toml::node* node = entry.get("temperature");
        if (!node)
            return true;
        if (!firstTemperature)
            firstTemperature = node;
        return number(*node, what, out);
    }

    bool readHeat(const toml::table& heat, Scene& scene)
    {
        scene.heat.enabled = true;
        if (!onlyKnownKeys(heat, " in [heat]", {"diffusivity", "expansion", "reference", "initial", "walls"}) ||
            !optionalNumber(heat, "diffusivity", "[heat] diffusivity", scene.heat.diffusivity) ||
            !optionalNumber(heat, "expansion", "[heat] expansion", scene.heat.expansion) ||
            !optionalNumber(heat, "reference", "[heat] reference", scene.heat.reference) ||
            !optionalNumber(heat, "initial", "[heat] initial", scene.heat.initial))
            return false;
        const toml::node* wallsNode = heat.get("walls");
        if (!wallsNode)
            return true;
        const toml::table* walls = wallsNode->as_table();
        if (!walls)
            return fail(*wallsNode, "[heat.walls] must be a table");
        if (!onlyKnownKeys(*walls, " in [heat.walls]", {"top", "bottom", "left", "right"}))
            return false;
        for (Side side : {Side::left, Side::right, Side::top, Side::bottom})
            if (!optionalNumber(*walls, sideName(side), std::string("[heat.walls] ") + sideName(side),
                                scene.heat.wall[int(side)]))
                return false;
        return true;
    }

    bool readView(const toml::table& view, Scene& scene)
    {
        if (!onlyKnownKeys(view, " in [view]", {"range"}))
            return false;
        const toml::node* rangeNode = view.get("range");
        if (!rangeNode)
            return true;
        const toml::table* ranges = rangeNode->as_table();
        if (!ranges)
            return fail(*rangeNode, "[view.range] must be a table");
        if (!onlyKnownKeys(*ranges, " in [view.range]", {"speed", "vorticity", "pressure", "dye", "temperature"}))
            return false;
        for (int f = 0; f < cellFieldCount; ++f) {
            const char* name = cellFieldName(CellField(f));
            double ends[2];
            if (const toml::node* node = ranges->get(name)) {
                if (!pair(*node, std::string("[view.range] ") + name, ends))
                    return false;
                scene.viewRange[f] = {ends[0], ends[1]};
            }
        }
        return true;
    }

    bool readInteraction(const toml::table& interaction, Scene& scene)
    {
        return onlyKnownKeys(interaction, " in [interaction]", {"radius", "strength"}) &&
               optionalNumber(interaction, "radius", "[interaction] radius", scene.interaction.radius) &&
               optionalNumber(interaction, "strength", "[interaction] strength", scene.interaction.strength);
    }

    bool readSolver(const toml::table& solver, Scene& scene)
    {
        int64_t limit = scene.iterationLimit;
        if (!onlyKnownKeys(solver, " in [solver]",
                           {"tolerance", "iteration_limit", "preconditioner", "pressure_start", "viscosity_start"}) ||
            !optionalNumber(solver, "tolerance", "[solver] tolerance", scene.tolerance) ||
            !optionalWhole(solver, "iteration_limit", "[solver] iteration_limit", INT32_MIN, INT32_MAX, limit))
            return false;
        scene.iterationLimit = int32_t(limit);
        if (const toml::node* preconditioner = solver.get("preconditioner")) {
            const auto* text = preconditioner->as_string();
            if (text && text->get() == "incomplete-cholesky")
                scene.preconditioner = pcg::Preconditioner::incompleteCholesky;
            else if (text && text->get() == "multigrid")
                scene.preconditioner = pcg::Preconditioner::multigrid;
            else
                return fail(*preconditioner, "[solver] preconditioner must be \"incomplete-cholesky\" or \"multigrid\"");
        }
        for (const char* key : {"pressure_start", "viscosity_start"}) {
            const toml::node* start = solver.get(key);
            if (!start)
                continue;
            const auto* text = start->as_string();
            if (!text || (text->get() != "previous" && text->get() != "zero"))
                return fail(*start, std::string("[solver] ") + key + " must be \"previous\" or \"zero\"");
            (std::strcmp(key, "pressure_start") == 0 ? scene.pressureFromPrevious : scene.viscosityFromPrevious) =
                text->get() == "previous";
        }
        return true;
    }

    bool readTracers(const toml::table& tracers, Scene& scene)
    {
        int64_t count = scene.tracerCount;
        if (!onlyKnownKeys(tracers, " in [tracers]", {"count"}) ||
            !optionalWhole(tracers, "count", "[tracers] count", 0, UINT32_MAX, count))
            return false;
        scene.tracerCount = uint32_t(count);
        return true;
    }

    // Where in the file the key of a scene's problem lies: the node it names,
    // else the nearest one above it that the file has; nowhere for none.
    toml::source_region placeOf(const toml::table& root, std::string key) const
    {
        // The scene counts rectangles and discs apart; the file counts [[solid]] entries.
        for (const char* kind : {"rectangle", "disc"}) {
            const std::string prefix = std::string(kind) + "[";
            if (key.compare(0, prefix.size(), prefix) != 0)
                continue;
            const size_t close = key.find(']');
            const size_t k = std::stoul(key.substr(prefix.size(), close - prefix.size()));
            const size_t entry = (std::string(kind) == "disc" ? discEntries : rectangleEntries)[k];
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

private:
    const std::string& source;
    std::string& error;
    // The [[solid]] entry of each rectangle and disc, in the scene's order.
    std::vector<size_t> rectangleEntries, discEntries;
    const toml::node* firstTemperature = nullptr;  // of a band or solid, for a scene without heat
};

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
    SceneReader reader(source, error);
    if (const auto [line, column] = firstNonAscii(text); line > 0) {
        toml::source_region where;
        where.begin = {toml::source_index(line), toml::source_index(column)};
        return reader.fail(where, "a character beyond ASCII (scene files are ASCII)");
    }
    toml::parse_result parsed = toml::parse(text, source);
    if (!parsed)
        return reader.fail(parsed.error().source(), std::string(parsed.error().description()));
    return reader.read(parsed.table(), scene);
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

namespace {

toml::array tomlArray(const std::vector<SceneValue>& items);

// The value as a node of its own kind, to be put in a table or array.
template <typename Put>
void putValue(const SceneValue& value, Put put)
{
    switch (value.kind) {
    case SceneValue::Kind::number: put(toml::value<double>(value.number)); break;
    case SceneValue::Kind::whole: put(toml::value<int64_t>(value.whole)); break;
    case SceneValue::Kind::truth: put(toml::value<bool>(value.truth)); break;
    case SceneValue::Kind::text: put(toml::value<std::string>(value.text)); break;
    case SceneValue::Kind::list: put(tomlArray(value.items)); break;
    }
}

toml::array tomlArray(const std::vector<SceneValue>& items)
{
    toml::array array;
    for (const SceneValue& item : items)
        putValue(item, [&](auto&& node) { array.push_back(std::move(node)); });
    return array;
}

// "inflow[0]" into its name and index; no index: -1. False where it is malformed.
bool splitStep(const std::string& step, std::string& name, long& index)
{
    index = -1;
    const size_t open = step.find('[');
    name = step.substr(0, open);
    if (name.empty())
        return false;
    if (open == std::string::npos)
        return true;
    if (step.back() != ']' || open + 2 > step.size() - 1)
        return false;
    const std::string digits = step.substr(open + 1, step.size() - open - 2);
    if (digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    index = std::stol(digits);
    return true;
}

bool setValue(toml::table& root, const std::string& path, const SceneValue& value, std::string& error)
{
    std::vector<std::string> steps;
    for (size_t start = 0;;) {
        const size_t dot = path.find('.', start);
        steps.push_back(path.substr(start, dot - start));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    toml::table* table = &root;
    for (size_t k = 0; k < steps.size(); ++k) {
        std::string name;
        long index = -1;
        if (!splitStep(steps[k], name, index))
            return error = "\"" + path + "\" is not a key's path (as fluid.viscosity or inflow[0].speed)", false;
        const bool last = k + 1 == steps.size();
        if (index < 0) {
            if (last) {
                putValue(value, [&](auto&& node) { table->insert_or_assign(name, std::move(node)); });
                return true;
            }
            toml::node* node = table->get(name);
            if (!node)
                node = &table->insert(name, toml::table()).first->second;
            if (!node->is_table())
                return error = "\"" + path + "\": " + name + " is not a table", false;
            table = node->as_table();
            continue;
        }
        toml::array* array = table->get_as<toml::array>(name);
        if (!array || size_t(index) >= array->size())
            return error = "\"" + path + "\": the file has no " + name + "[" + std::to_string(index) + "]", false;
        toml::node& element = *array->get(size_t(index));
        if (last) {
            putValue(value, [&](auto&& node) { array->replace(array->begin() + index, std::move(node)); });
            return true;
        }
        if (!element.is_table())
            return error = "\"" + path + "\": " + name + "[" + std::to_string(index) + "] is not a table", false;
        table = element.as_table();
    }
    return true;
}

}  // namespace

namespace {

// The scene's file as a TOML table, to change and read again; `what` names
// the change a built-in scene cannot take.
bool tableOf(const Scene& scene, const char* what, toml::table& table, std::string& error)
{
    const std::string source = scene.file.empty() ? std::string("scene") : scene.file;
    if (scene.text.empty())
        return error = source + ": built in, not read from a file's text: no " + what + " to change", false;
    toml::parse_result parsed = toml::parse(scene.text, source);
    if (!parsed)
        return error = source + ": " + std::string(parsed.error().description()), false;
    table = std::move(parsed).table();
    return true;
}

// The table changed, read again by the file's rules; named as the scene it
// was made from, its file is its text now.
bool sceneFromTable(const toml::table& table, const Scene& scene, const char* changed, Scene& out, std::string& error)
{
    std::ostringstream text;
    text << table << '\n';
    const std::string source = scene.file.empty() ? std::string("scene") : scene.file;
    Scene read;
    if (!parseScene(text.str(), source + " (" + changed + ")", read, error))
        return false;
    read.file = scene.file;
    out = std::move(read);
    return true;
}

}  // namespace

bool sceneWithValues(const Scene& scene, const std::vector<std::pair<std::string, SceneValue>>& values, Scene& out,
                     std::string& error)
{
    toml::table table;
    if (!tableOf(scene, "values", table, error))
        return false;
    for (const auto& [path, value] : values)
        if (!setValue(table, path, value, error))
            return error = (scene.file.empty() ? std::string("scene") : scene.file) + ": " + error, false;
    return sceneFromTable(table, scene, "with values changed", out, error);
}

namespace {

// The cells solid in `solid` but not in `kept`, as rectangles: runs along
// each row, a run carried down while the rows below repeat it.
toml::array rectanglesOf(const std::vector<uint8_t>& solid, const std::vector<uint8_t>& kept, uint32_t nx, uint32_t ny)
{
    struct Open {
        uint32_t i0, i1, j0, j1;
    };
    std::vector<Open> open, done;
    for (uint32_t j = 0; j < ny; ++j) {
        std::vector<Open> next;
        for (uint32_t i = 0; i < nx;) {
            auto drawn = [&](uint32_t c) { return solid[size_t(c) * ny + j] && !kept[size_t(c) * ny + j]; };
            if (!drawn(i)) {
                ++i;
                continue;
            }
            uint32_t end = i;
            while (end + 1 < nx && drawn(end + 1))
                ++end;
            auto above = std::find_if(open.begin(), open.end(), [&](const Open& o) { return o.i0 == i && o.i1 == end; });
            if (above != open.end()) {
                next.push_back({i, end, above->j0, j});
                open.erase(above);
            } else {
                next.push_back({i, end, j, j});
            }
            i = end + 1;
        }
        done.insert(done.end(), open.begin(), open.end());
        open = std::move(next);
    }
    done.insert(done.end(), open.begin(), open.end());
    std::sort(done.begin(), done.end(), [](const Open& a, const Open& b) { return std::tie(a.j0, a.i0) < std::tie(b.j0, b.i0); });
    toml::array rectangles;
    for (const Open& r : done)
        rectangles.push_back(toml::table{{"rectangle", toml::table{{"from", toml::array{int64_t(r.i0), int64_t(r.j0)}},
                                                                   {"to", toml::array{int64_t(r.i1), int64_t(r.j1)}}}}});
    return rectangles;
}

}  // namespace

bool sceneWithSolidCells(const Scene& scene, const std::vector<uint8_t>& solid, Scene& out, std::string& error)
{
    if (solid.size() != size_t(scene.nx) * scene.ny)
        return error = (scene.file.empty() ? std::string("scene") : scene.file) + ": the cells given do not fit its grid",
               false;
    if (scene.solidCells() == solid)
        return out = scene, true;
    toml::table table;
    if (!tableOf(scene, "solids", table, error))
        return false;
    // The cutting discs and the solids held at a temperature stay as written.
    toml::array kept;
    if (const toml::array* solids = table["solid"].as_array())
        for (const toml::node& entry : *solids) {
            const toml::table* solidTable = entry.as_table();
            if (!solidTable)
                continue;
            const bool cuts = (*solidTable)["disc"]["surface"].value<std::string>() == "cut";
            if (cuts || solidTable->contains("temperature"))
                kept.push_back(*solidTable);
        }
    table.insert_or_assign("solid", kept);
    Scene keptScene;
    if (!sceneFromTable(table, scene, "its kept solids", keptScene, error))
        return false;
    for (toml::node& rectangle : rectanglesOf(solid, keptScene.solidCells(), scene.nx, scene.ny))
        kept.push_back(std::move(rectangle));
    if (kept.empty())
        table.erase("solid");
    else
        table.insert_or_assign("solid", std::move(kept));
    return sceneFromTable(table, scene, "with its cells drawn", out, error);
}
