#pragma once
// Each section of a scene file (docs/SCENES.md), read into the scene by a
// function of its own; the file's reader (scene_file.cpp) calls them in the
// file's order. Each refuses what it cannot take through the TomlReader.

#include "sim/scene/scene.h"
#include "sim/scene/toml_reader.h"

#include <vector>

// The box itself (read_box.cpp); the grid from the file's root, as it is required.
bool readGrid(TomlReader& reader, const toml::table& root, Scene& scene);
bool readFluid(TomlReader& reader, const toml::table& fluid, Scene& scene);
bool readTime(TomlReader& reader, const toml::table& time, Scene& scene);
bool readAdvection(TomlReader& reader, const toml::table& advection, Scene& scene);
bool readWalls(TomlReader& reader, const toml::table& walls, Scene& scene);

// The openings in the border (read_openings.cpp): one [[inflow]] or [[outflow]] band, one [[outlet]].
bool readBand(TomlReader& reader, const toml::table& entry, bool inflow, std::vector<Band>& into);
bool readOutlet(TomlReader& reader, const toml::table& entry, Scene& scene);

// One [[solid]] (read_solids.cpp), one [[liquid]] (read_liquid.cpp), [heat] (read_heat.cpp).
bool readSolid(TomlReader& reader, const toml::table& entry, Scene& scene);
bool readLiquid(TomlReader& reader, const toml::table& entry, Scene& scene);
bool readHeat(TomlReader& reader, const toml::table& heat, Scene& scene);

// What the run is asked beyond the physics (read_settings.cpp).
bool readProbe(TomlReader& reader, const toml::table& entry, Scene& scene);
bool readView(TomlReader& reader, const toml::table& view, Scene& scene);
bool readInteraction(TomlReader& reader, const toml::table& interaction, Scene& scene);
bool readSolver(TomlReader& reader, const toml::table& solver, Scene& scene);
bool readTracers(TomlReader& reader, const toml::table& tracers, Scene& scene);
