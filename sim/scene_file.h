#pragma once
// Scenes read from TOML files (docs/SCENES.md). A scene file is untrusted
// input: whatever is wrong with it comes back as one line naming the file, and
// the line and column where the parser knows them.

#include "sim/scene.h"

#include <string>
#include <string_view>

// Reads the scene in text; source names it in messages. On failure returns
// false and sets error to "SOURCE:LINE:COLUMN: what is wrong" (or
// "SOURCE: what is wrong" where no place in the text is to blame).
bool parseScene(std::string_view text, const std::string& source, Scene& scene, std::string& error);

// Reads the scene file at path, as parseScene.
bool loadSceneFile(const std::string& path, Scene& scene, std::string& error);
