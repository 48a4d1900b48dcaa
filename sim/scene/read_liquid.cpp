// A liquid's starting regions: rectangles and discs, each at its own velocity.
#include "sim/scene/scene_sections.h"

bool readLiquid(TomlReader& reader, const toml::table& entry, Scene& scene)
{
    if (!reader.onlyKnownKeys(entry, " in [[liquid]]", {"disc", "rectangle", "velocity"}))
        return false;
    const toml::node* disc = entry.get("disc");
    const toml::node* rectangle = entry.get("rectangle");
    if (!disc == !rectangle)
        return reader.fail(entry, "a [[liquid]] is either a disc or a rectangle");
    LiquidRegion region;
    if (const toml::node* velocity = entry.get("velocity")) {
        double v[2];
        if (!reader.pair(*velocity, "a liquid's velocity", v))
            return false;
        region.velocityX = v[0];
        region.velocityY = v[1];
    }
    if (disc) {
        const toml::table* d = disc->as_table();
        if (!d || !d->get("centre") || !d->get("radius"))
            return reader.fail(*disc, "a liquid disc is { centre = [x, y], radius = r }");
        if (!reader.onlyKnownKeys(*d, " in a liquid disc", {"centre", "radius"}))
            return false;
        double centre[2];
        if (!reader.pair(*d->get("centre"), "a liquid disc's centre", centre) ||
            !reader.number(*d->get("radius"), "a liquid disc's radius", region.radius))
            return false;
        region.disc = true;
        region.centreX = centre[0];
        region.centreY = centre[1];
    } else {
        const toml::table* r = rectangle->as_table();
        if (!r || !r->get("from") || !r->get("to"))
            return reader.fail(*rectangle, "a liquid rectangle is { from = [x, y], to = [x, y] }");
        if (!reader.onlyKnownKeys(*r, " in a liquid rectangle", {"from", "to"}))
            return false;
        double from[2], to[2];
        if (!reader.pair(*r->get("from"), "a liquid rectangle's corner", from) ||
            !reader.pair(*r->get("to"), "a liquid rectangle's corner", to))
            return false;
        region.fromX = from[0];
        region.fromY = from[1];
        region.toX = to[0];
        region.toY = to[1];
    }
    scene.liquid.push_back(region);
    return true;
}
