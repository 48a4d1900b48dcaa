// Heat: its diffusivity, buoyancy and the walls' temperatures.
#include "sim/scene/scene_sections.h"

bool readHeat(TomlReader& reader, const toml::table& heat, Scene& scene)
{
    scene.heat.enabled = true;
    if (!reader.onlyKnownKeys(heat, " in [heat]", {"diffusivity", "expansion", "reference", "initial", "walls"}) ||
        !reader.optionalNumber(heat, "diffusivity", "[heat] diffusivity", scene.heat.diffusivity) ||
        !reader.optionalNumber(heat, "expansion", "[heat] expansion", scene.heat.expansion) ||
        !reader.optionalNumber(heat, "reference", "[heat] reference", scene.heat.reference) ||
        !reader.optionalNumber(heat, "initial", "[heat] initial", scene.heat.initial))
        return false;
    const toml::node* wallsNode = heat.get("walls");
    if (!wallsNode)
        return true;
    const toml::table* walls = wallsNode->as_table();
    if (!walls)
        return reader.fail(*wallsNode, "[heat.walls] must be a table");
    if (!reader.onlyKnownKeys(*walls, " in [heat.walls]", {"top", "bottom", "left", "right"}))
        return false;
    for (Side side : {Side::left, Side::right, Side::top, Side::bottom})
        if (!reader.optionalNumber(*walls, sideName(side), std::string("[heat.walls] ") + sideName(side),
                            scene.heat.wall[int(side)]))
            return false;
    return true;
}
