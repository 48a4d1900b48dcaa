#pragma once
// Scenes read from TOML files (docs/SCENES.md). A scene file is untrusted
// input: whatever is wrong with it comes back as one line naming the file, and
// the line and column where the parser knows them.

#include "sim/scene/scene.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <cstdint>

// Reads the scene in text; source names it in messages. On failure returns
// false and sets error to "SOURCE:LINE:COLUMN: what is wrong" (or
// "SOURCE: what is wrong" where no place in the text is to blame).
bool parseScene(std::string_view text, const std::string& source, Scene& scene, std::string& error);

// Reads the scene file at path, as parseScene.
bool loadSceneFile(const std::string& path, Scene& scene, std::string& error);

// A value for one key of a scene file: a number, a whole number, a truth
// value, a text, or a list of them.
struct SceneValue {
    enum class Kind { number, whole, truth, text, list } kind = Kind::number;
    double number = 0.0;
    int64_t whole = 0;
    bool truth = false;
    std::string text;
    std::vector<SceneValue> items;
};

// The scene with some of its file's values changed, each named by its path
// in the file: "fluid.viscosity", "inflow[0].speed", "grid.cells[1]" (a
// table missing on the way is made). Read again by the same rules as a
// file, so a value the file could not hold is refused with the same line;
// false, with one line, also for a path that names no table or array
// element. The scene must have come from a file's text.
bool sceneWithValues(const Scene& scene, const std::vector<std::pair<std::string, SceneValue>>& values, Scene& out,
                     std::string& error);

// The scene with these cells solid (k = i*ny + j, as a run keeps them): the
// scene itself where they are its own; else its solids of whole cells
// replaced by rectangles of the cells now solid, its cutting discs and its
// held temperatures kept. The scene must have come from a file's text.
bool sceneWithSolidCells(const Scene& scene, const std::vector<uint8_t>& solid, Scene& out, std::string& error);
