// Solids: rectangles of cells and discs.
#include "sim/scene/scene_sections.h"

#include <cmath>

bool readSolid(TomlReader& reader, const toml::table& entry, Scene& scene)
{
    if (!reader.onlyKnownKeys(entry, " in [[solid]]", {"disc", "rectangle", "temperature"}))
        return false;
    double temperature = std::nan("");
    if (!reader.optionalTemperature(entry, "a solid's temperature", temperature))
        return false;
    const toml::node* disc = entry.get("disc");
    const toml::node* rectangle = entry.get("rectangle");
    if (!disc == !rectangle)
        return reader.fail(entry, "a [[solid]] is either a disc or a rectangle");
    if (disc) {
        const toml::table* d = disc->as_table();
        if (!d || !d->get("centre") || !d->get("radius"))
            return reader.fail(*disc, "a disc is { centre = [x, y], radius = r }");
        if (!reader.onlyKnownKeys(*d, " in a disc", {"centre", "radius", "surface"}))
            return false;
        double centre[2];
        SolidDisc s;
        if (!reader.pair(*d->get("centre"), "a disc's centre", centre) ||
            !reader.number(*d->get("radius"), "a disc's radius", s.radius))
            return false;
        s.centreX = centre[0];
        s.centreY = centre[1];
        s.temperature = temperature;
        if (const toml::node* surface = d->get("surface")) {
            const auto* text = surface->as_string();
            if (text && text->get() == "cut")
                s.cut = true;
            else if (!text || text->get() != "cells")
                return reader.fail(*surface, "a disc's surface must be \"cells\" or \"cut\"");
        }
        scene.solidOrder.push_back({true, uint32_t(scene.discs.size())});
        scene.discs.push_back(s);
        return true;
    }
    const toml::table* r = rectangle->as_table();
    if (!r || !r->get("from") || !r->get("to"))
        return reader.fail(*rectangle, "a rectangle is { from = [i, j], to = [i, j] }");
    if (!reader.onlyKnownKeys(*r, " in a rectangle", {"from", "to"}))
        return false;
    int64_t from[2], to[2];
    if (!reader.wholePair(*r->get("from"), "a rectangle's corner", 0, UINT32_MAX, from) ||
        !reader.wholePair(*r->get("to"), "a rectangle's corner", 0, UINT32_MAX, to))
        return false;
    scene.solidOrder.push_back({false, uint32_t(scene.rectangles.size())});
    scene.rectangles.push_back({uint32_t(from[0]), uint32_t(from[1]), uint32_t(to[0]), uint32_t(to[1]), temperature});
    return true;
}
