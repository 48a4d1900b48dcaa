#pragma once
// Where the programs find scenes: a path to a file, or the name of a scene
// that ships with flowbox.

#include "sim/scene/scene.h"

#include <string>
#include <vector>

// A scene named on the command line: a path to a file, or the name of a
// shipped scene ("cavity" for cavity.toml) looked up in sceneFolders in turn.
// Returns the path, or an empty string when there is no such scene.
std::string findScene(const std::string& nameOrPath, const std::vector<std::string>& sceneFolders);

// The names of the shipped scenes in the folders, sorted, without duplicates.
std::vector<std::string> shippedScenes(const std::vector<std::string>& sceneFolders);

// Where a program finds the shipped scenes: share/flowbox/scenes beside the
// folder of its own executable (bin/ when installed, the build tree's
// app/ or tools/ when built).
std::vector<std::string> sceneFolders();

// What a program does with --scene's value: the scene, or false with one line
// saying what is wrong ("FILE:LINE:COLUMN: ..." for a bad file).
bool sceneFromArgument(const std::string& nameOrPath, Scene& scene, std::string& error);
