#pragma once
// The values of a scene a person wants to turn while it runs - viscosity,
// each band's speed, gravity, the heat's expansion and held temperatures,
// the time step - each by its path in the scene's file, with its text as
// shown: the window's settings panel and the web page show the same ones.
// What is typed is read by the scene file's own rules (sceneWithValues).

#include "sim/scene/scene.h"
#include "sim/scene/scene_file.h"

#include <string>
#include <vector>

struct LiveSetting {
    std::string label;  // "Gravity (x, y)"
    std::string path;   // "fluid.gravity"
    std::string text;   // "0, 9.8": exact, as short as the value allows
};

std::vector<LiveSetting> liveSettings(const Scene& scene);

// A setting's text as a scene file's value: a number, or numbers apart by
// commas as a list ("0, 9.8"). False, saying why, for anything else.
bool liveSettingValue(const std::string& text, SceneValue& value, std::string& problem);
