// The box itself: its grid, its fluid, the time step, the advection and the walls.
#include "sim/scene/scene_sections.h"

bool readGrid(TomlReader& reader, const toml::table& root, Scene& scene)
{
    bool ok = true;
    const toml::table* grid = reader.table(root, "grid", ok);
    if (!ok)
        return false;
    if (!grid || !grid->get("cells"))
        return reader.fail(grid ? grid->source() : root.source(), "[grid] cells = [nx, ny] is required");
    int64_t cells[2];
    if (!reader.onlyKnownKeys(*grid, " in [grid]", {"cells", "cell_size"}) ||
        !reader.wholePair(*grid->get("cells"), "[grid] cells", 0, UINT32_MAX, cells) ||
        !reader.optionalNumber(*grid, "cell_size", "[grid] cell_size", scene.cellSize))
        return false;
    scene.nx = uint32_t(cells[0]);
    scene.ny = uint32_t(cells[1]);
    return true;
}

bool readFluid(TomlReader& reader, const toml::table& fluid, Scene& scene)
{
    if (!reader.onlyKnownKeys(fluid, " in [fluid]", {"density", "viscosity", "gravity"}) ||
        !reader.optionalNumber(fluid, "density", "[fluid] density", scene.density) ||
        !reader.optionalNumber(fluid, "viscosity", "[fluid] viscosity", scene.viscosity))
        return false;
    if (const toml::node* gravity = fluid.get("gravity")) {
        double g[2];
        if (!reader.pair(*gravity, "[fluid] gravity", g))
            return false;
        scene.gravityX = g[0];
        scene.gravityY = g[1];
    }
    return true;
}

bool readTime(TomlReader& reader, const toml::table& time, Scene& scene)
{
    return reader.onlyKnownKeys(time, " in [time]", {"step"}) &&
           reader.optionalNumber(time, "step", "[time] step", scene.timeStep);
}

bool readAdvection(TomlReader& reader, const toml::table& advection, Scene& scene)
{
    if (!reader.onlyKnownKeys(advection, " in [advection]", {"scheme"}))
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
        return reader.fail(*scheme, "[advection] scheme must be \"linear\", \"maccormack\" or \"hybrid\"");
    return true;
}

bool readWalls(TomlReader& reader, const toml::table& walls, Scene& scene)
{
    if (!reader.onlyKnownKeys(walls, " in [walls]", {"top", "bottom", "left", "right"}))
        return false;
    for (Side s : {Side::top, Side::bottom, Side::left, Side::right}) {
        Wall& wallOfSide = s == Side::top ? scene.top : s == Side::bottom ? scene.bottom
                                          : s == Side::left ? scene.left : scene.right;
        if (const toml::node* node = walls.get(sideName(s)); node && !reader.wall(*node, sideName(s), wallOfSide))
            return false;
    }
    return true;
}
