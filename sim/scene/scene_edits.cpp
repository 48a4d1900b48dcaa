// A scene's file changed and read again: values changed by their path, and
// the cells a user drew or erased written back as the file's solids.
#include "sim/scene/scene_file.h"

#include "sim/scene/toml.h"

#include <algorithm>
#include <sstream>
#include <tuple>
#include <utility>

namespace {

toml::array tomlArray(const std::vector<SceneValue>& items);

// The value as a node of its own kind, to be put in a table or array.
template <typename Put>
void putValue(const SceneValue& value, Put put)
{
    switch (value.kind) {
    case SceneValue::Kind::number: put(toml::value<double>(value.number)); break;
    case SceneValue::Kind::whole: put(toml::value<int64_t>(value.whole)); break;
    case SceneValue::Kind::truth: put(toml::value<bool>(value.truth)); break;
    case SceneValue::Kind::text: put(toml::value<std::string>(value.text)); break;
    case SceneValue::Kind::list: put(tomlArray(value.items)); break;
    }
}

toml::array tomlArray(const std::vector<SceneValue>& items)
{
    toml::array array;
    for (const SceneValue& item : items)
        putValue(item, [&](auto&& node) { array.push_back(std::move(node)); });
    return array;
}

// "inflow[0]" into its name and index; no index: -1. False where it is malformed.
bool splitStep(const std::string& step, std::string& name, long& index)
{
    index = -1;
    const size_t open = step.find('[');
    name = step.substr(0, open);
    if (name.empty())
        return false;
    if (open == std::string::npos)
        return true;
    if (step.back() != ']' || open + 2 > step.size() - 1)
        return false;
    const std::string digits = step.substr(open + 1, step.size() - open - 2);
    if (digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    index = std::stol(digits);
    return true;
}

bool setValue(toml::table& root, const std::string& path, const SceneValue& value, std::string& error)
{
    std::vector<std::string> steps;
    for (size_t start = 0;;) {
        const size_t dot = path.find('.', start);
        steps.push_back(path.substr(start, dot - start));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    toml::table* table = &root;
    for (size_t k = 0; k < steps.size(); ++k) {
        std::string name;
        long index = -1;
        if (!splitStep(steps[k], name, index))
            return error = "\"" + path + "\" is not a key's path (as fluid.viscosity or inflow[0].speed)", false;
        const bool last = k + 1 == steps.size();
        if (index < 0) {
            if (last) {
                putValue(value, [&](auto&& node) { table->insert_or_assign(name, std::move(node)); });
                return true;
            }
            toml::node* node = table->get(name);
            if (!node)
                node = &table->insert(name, toml::table()).first->second;
            if (!node->is_table())
                return error = "\"" + path + "\": " + name + " is not a table", false;
            table = node->as_table();
            continue;
        }
        toml::array* array = table->get_as<toml::array>(name);
        if (!array || size_t(index) >= array->size())
            return error = "\"" + path + "\": the file has no " + name + "[" + std::to_string(index) + "]", false;
        toml::node& element = *array->get(size_t(index));
        if (last) {
            putValue(value, [&](auto&& node) { array->replace(array->begin() + index, std::move(node)); });
            return true;
        }
        if (!element.is_table())
            return error = "\"" + path + "\": " + name + "[" + std::to_string(index) + "] is not a table", false;
        table = element.as_table();
    }
    return true;
}

}  // namespace

namespace {

// The scene's file as a TOML table, to change and read again; `what` names
// the change a built-in scene cannot take.
bool tableOf(const Scene& scene, const char* what, toml::table& table, std::string& error)
{
    const std::string source = scene.file.empty() ? std::string("scene") : scene.file;
    if (scene.text.empty())
        return error = source + ": built in, not read from a file's text: no " + what + " to change", false;
    toml::parse_result parsed = toml::parse(scene.text, source);
    if (!parsed)
        return error = source + ": " + std::string(parsed.error().description()), false;
    table = std::move(parsed).table();
    return true;
}

// The table changed, read again by the file's rules; named as the scene it
// was made from, its file is its text now.
bool sceneFromTable(const toml::table& table, const Scene& scene, const char* changed, Scene& out, std::string& error)
{
    std::ostringstream text;
    text << table << '\n';
    const std::string source = scene.file.empty() ? std::string("scene") : scene.file;
    Scene read;
    if (!parseScene(text.str(), source + " (" + changed + ")", read, error))
        return false;
    read.file = scene.file;
    out = std::move(read);
    return true;
}

}  // namespace

bool sceneWithValues(const Scene& scene, const std::vector<std::pair<std::string, SceneValue>>& values, Scene& out,
                     std::string& error)
{
    toml::table table;
    if (!tableOf(scene, "values", table, error))
        return false;
    for (const auto& [path, value] : values)
        if (!setValue(table, path, value, error))
            return error = (scene.file.empty() ? std::string("scene") : scene.file) + ": " + error, false;
    return sceneFromTable(table, scene, "with values changed", out, error);
}

namespace {

// The cells solid in `solid` but not in `kept`, as rectangles: runs along
// each row, a run carried down while the rows below repeat it.
toml::array rectanglesOf(const std::vector<uint8_t>& solid, const std::vector<uint8_t>& kept, uint32_t nx, uint32_t ny)
{
    struct Open {
        uint32_t i0, i1, j0, j1;
    };
    std::vector<Open> open, done;
    for (uint32_t j = 0; j < ny; ++j) {
        std::vector<Open> next;
        for (uint32_t i = 0; i < nx;) {
            auto drawn = [&](uint32_t c) { return solid[size_t(c) * ny + j] && !kept[size_t(c) * ny + j]; };
            if (!drawn(i)) {
                ++i;
                continue;
            }
            uint32_t end = i;
            while (end + 1 < nx && drawn(end + 1))
                ++end;
            auto above = std::find_if(open.begin(), open.end(), [&](const Open& o) { return o.i0 == i && o.i1 == end; });
            if (above != open.end()) {
                next.push_back({i, end, above->j0, j});
                open.erase(above);
            } else {
                next.push_back({i, end, j, j});
            }
            i = end + 1;
        }
        done.insert(done.end(), open.begin(), open.end());
        open = std::move(next);
    }
    done.insert(done.end(), open.begin(), open.end());
    std::sort(done.begin(), done.end(), [](const Open& a, const Open& b) { return std::tie(a.j0, a.i0) < std::tie(b.j0, b.i0); });
    toml::array rectangles;
    for (const Open& r : done)
        rectangles.push_back(toml::table{{"rectangle", toml::table{{"from", toml::array{int64_t(r.i0), int64_t(r.j0)}},
                                                                   {"to", toml::array{int64_t(r.i1), int64_t(r.j1)}}}}});
    return rectangles;
}

}  // namespace

bool sceneWithSolidCells(const Scene& scene, const std::vector<uint8_t>& solid, Scene& out, std::string& error)
{
    if (solid.size() != size_t(scene.nx) * scene.ny)
        return error = (scene.file.empty() ? std::string("scene") : scene.file) + ": the cells given do not fit its grid",
               false;
    if (scene.solidCells() == solid)
        return out = scene, true;
    toml::table table;
    if (!tableOf(scene, "solids", table, error))
        return false;
    // The cutting discs and the solids held at a temperature stay as written.
    toml::array kept;
    if (const toml::array* solids = table["solid"].as_array())
        for (const toml::node& entry : *solids) {
            const toml::table* solidTable = entry.as_table();
            if (!solidTable)
                continue;
            const bool cuts = (*solidTable)["disc"]["surface"].value<std::string>() == "cut";
            if (cuts || solidTable->contains("temperature"))
                kept.push_back(*solidTable);
        }
    table.insert_or_assign("solid", kept);
    Scene keptScene;
    if (!sceneFromTable(table, scene, "its kept solids", keptScene, error))
        return false;
    for (toml::node& rectangle : rectanglesOf(solid, keptScene.solidCells(), scene.nx, scene.ny))
        kept.push_back(std::move(rectangle));
    if (kept.empty())
        table.erase("solid");
    else
        table.insert_or_assign("solid", std::move(kept));
    return sceneFromTable(table, scene, "with its cells drawn", out, error);
}
