// The openings in the border: inflow and outflow bands, outlets.
#include "sim/scene/scene_sections.h"

bool readBand(TomlReader& reader, const toml::table& entry, bool inflow, std::vector<Band>& into)
{
    const std::string what = inflow ? "an [[inflow]] band" : "an [[outflow]] band";
    Band band;
    if (!(inflow ? reader.onlyKnownKeys(entry, " in [[inflow]]", {"side", "cells", "speed", "profile", "dye", "temperature", "liquid"})
                 : reader.onlyKnownKeys(entry, " in [[outflow]]", {"side", "cells", "speed", "profile"})) ||
        !reader.range(entry, what, band.range))
        return false;
    if (const toml::node* dye = entry.get("dye")) {
        const toml::array* colour = dye->as_array();
        double channel[3];
        if (!colour || colour->size() != 3 || !reader.number(*colour->get(0), "dye", channel[0]) ||
            !reader.number(*colour->get(1), "dye", channel[1]) || !reader.number(*colour->get(2), "dye", channel[2]))
            return reader.fail(*dye, "dye is [red, green, blue], each from 0 to 1");
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
            return reader.fail(*profile, what + "'s profile must be \"uniform\" or \"parabolic\"");
    }
    if (!reader.optionalTemperature(entry, what + "'s temperature", band.temperature))
        return false;
    if (const toml::node* liquid = entry.get("liquid")) {
        const auto* pours = liquid->as_boolean();
        if (!pours)
            return reader.fail(*liquid, what + "'s liquid is true (the band pours liquid: a tap) or false");
        band.poursLiquid = pours->get();
    }
    const toml::node* speed = entry.get("speed");
    if (!speed)
        return reader.fail(entry, what + " needs a speed");
    if (!reader.number(*speed, what + "'s speed", band.speed))
        return false;
    into.push_back(band);
    return true;
}

bool readOutlet(TomlReader& reader, const toml::table& entry, Scene& scene)
{
    SideRange outlet;
    if (!reader.onlyKnownKeys(entry, " in [[outlet]]", {"side", "cells"}) || !reader.range(entry, "an [[outlet]]", outlet))
        return false;
    scene.outlets.push_back(outlet);
    return true;
}
