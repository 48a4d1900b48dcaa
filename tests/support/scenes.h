#pragma once
// Scenes written out in the tests, and their fields as plain vectors.

#include "sim/grid/grid_array.h"
#include "sim/scene/scene.h"
#include "sim/scene/scene_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testing_support {

// The scene a file of this text describes; a text that is not one fails the test.
inline Scene sceneFrom(const std::string& text)
{
    Scene scene;
    std::string error;
    EXPECT_TRUE(parseScene(text, "scene.toml", scene, error)) << error;
    return scene;
}

inline std::vector<double> values(const GridArray& array)
{
    return std::vector<double>(array.data.get(), array.data.get() + array.size());
}

}  // namespace testing_support
