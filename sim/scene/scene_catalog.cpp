#include "sim/scene/scene_catalog.h"

#include "sim/scene/scene_file.h"

#include <algorithm>
#include <filesystem>

namespace {

bool isFile(const std::string& path)
{
    std::error_code failure;
    return std::filesystem::is_regular_file(path, failure);
}

}  // namespace

std::string findScene(const std::string& nameOrPath, const std::vector<std::string>& sceneFolders)
{
    const bool looksLikePath = nameOrPath.find('/') != std::string::npos ||
                               (nameOrPath.size() > 5 && nameOrPath.compare(nameOrPath.size() - 5, 5, ".toml") == 0);
    if (looksLikePath)
        return isFile(nameOrPath) ? nameOrPath : std::string();
    if (nameOrPath.empty() || nameOrPath[0] == '.')
        return std::string();
    for (const std::string& folder : sceneFolders)
        if (const std::string path = folder + "/" + nameOrPath + ".toml"; isFile(path))
            return path;
    return isFile(nameOrPath) ? nameOrPath : std::string();
}

std::vector<std::string> shippedScenes(const std::vector<std::string>& sceneFolders)
{
    std::vector<std::string> names;
    for (const std::string& folder : sceneFolders) {
        std::error_code failure;
        for (const auto& entry : std::filesystem::directory_iterator(folder, failure))
            if (entry.path().extension() == ".toml" && entry.is_regular_file(failure))
                names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::vector<std::string> sceneFolders()
{
    std::error_code failure;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failure);
    if (failure)
        return {};
    return {(program.parent_path().parent_path() / "share" / "flowbox" / "scenes").string()};
}

bool sceneFromArgument(const std::string& nameOrPath, Scene& scene, std::string& error)
{
    const std::vector<std::string> folders = sceneFolders();
    const std::string path = findScene(nameOrPath, folders);
    if (path.empty()) {
        std::string names;
        for (const std::string& name : shippedScenes(folders))
            names += (names.empty() ? "" : ", ") + name;
        error = "no scene file or shipped scene \"" + nameOrPath + "\" (shipped: " +
                (names.empty() ? std::string("none found") : names) + ")";
        return false;
    }
    return loadSceneFile(path, scene, error);
}
