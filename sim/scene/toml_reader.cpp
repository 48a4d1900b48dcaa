#define TOML_IMPLEMENTATION
#include "sim/scene/toml_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// Edits that turn a into b: for "did you mean" on unknown keys.
size_t editDistance(std::string_view a, std::string_view b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t k = 0; k <= b.size(); ++k)
        row[k] = k;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t k = 1; k <= b.size(); ++k) {
            const size_t above = row[k];
            row[k] = std::min({row[k] + 1, row[k - 1] + 1, diagonal + (a[i - 1] == b[k - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The parser quotes what it saw, control characters and all: they are
// written out, so that a message stays on one line.
std::string oneLine(const std::string& text)
{
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            line += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(static_cast<unsigned char>(c)));
            line += escaped;
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace

std::pair<size_t, size_t> firstNonAscii(std::string_view text)
{
    size_t line = 1, lineStart = 0;
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '\n') {
            ++line;
            lineStart = k + 1;
        } else if (static_cast<unsigned char>(text[k]) >= 0x80) {
            return {line, k - lineStart + 1};
        }
    }
    return {0, 0};
}

bool TomlReader::fail(const toml::source_region& where, const std::string& what)
{
    if (where.begin.line > 0)
        error = source + ":" + std::to_string(where.begin.line) + ":" + std::to_string(where.begin.column) +
                ": " + what;
    else
        error = source + ": " + what;
    error = oneLine(error);
    return false;
}

bool TomlReader::onlyKnownKeys(const toml::table& table, const std::string& where,
                               std::initializer_list<const char*> known)
{
    for (auto&& [key, node] : table) {
        const std::string_view name = key.str();
        if (std::find_if(known.begin(), known.end(), [&](const char* k) { return name == k; }) != known.end())
            continue;
        const char* nearest = *known.begin();
        for (const char* k : known)
            if (editDistance(name, k) < editDistance(name, nearest))
                nearest = k;
        return fail(key.source(), "unknown key \"" + std::string(name) + "\"" + where +
                                      " (the nearest known one is \"" + nearest + "\")");
    }
    return true;
}

const toml::table* TomlReader::table(const toml::table& parent, const char* key, bool& ok)
{
    const toml::node* node = parent.get(key);
    if (!node)
        return nullptr;
    if (!node->is_table()) {
        ok = fail(*node, std::string("[") + key + "] must be a table");
        return nullptr;
    }
    return node->as_table();
}

bool TomlReader::number(const toml::node& node, const std::string& what, double& out)
{
    if (const auto* real = node.as_floating_point())
        out = real->get();
    else if (const auto* whole = node.as_integer())
        out = double(whole->get());
    else
        return fail(node, what + " must be a number");
    if (!std::isfinite(out))
        return fail(node, what + " must be finite");
    return true;
}

bool TomlReader::optionalNumber(const toml::table& table, const char* key, const std::string& what, double& out)
{
    const toml::node* node = table.get(key);
    return !node || number(*node, what, out);
}

bool TomlReader::whole(const toml::node& node, const std::string& what, int64_t lowest, int64_t highest, int64_t& out)
{
    const auto* value = node.as_integer();
    if (!value)
        return fail(node, what + " must be a whole number");
    out = value->get();
    if (out < lowest)
        return fail(node, what + (lowest == 0 ? " must be a whole number of 0 or more" : " is too small") +
                              ", not " + std::to_string(out));
    if (out > highest)
        return fail(node, what + " is too large: " + std::to_string(out));
    return true;
}

bool TomlReader::optionalWhole(const toml::table& table, const char* key, const std::string& what, int64_t lowest,
                               int64_t highest, int64_t& out)
{
    const toml::node* node = table.get(key);
    return !node || whole(*node, what, lowest, highest, out);
}

bool TomlReader::pair(const toml::node& node, const std::string& what, double out[2])
{
    const toml::array* array = node.as_array();
    if (!array || array->size() != 2)
        return fail(node, what + " must be an array of two numbers");
    return number(*array->get(0), what, out[0]) && number(*array->get(1), what, out[1]);
}

bool TomlReader::wholePair(const toml::node& node, const std::string& what, int64_t lowest, int64_t highest,
                           int64_t out[2])
{
    const toml::array* array = node.as_array();
    if (!array || array->size() != 2)
        return fail(node, what + " must be an array of two whole numbers");
    return whole(*array->get(0), what, lowest, highest, out[0]) &&
           whole(*array->get(1), what, lowest, highest, out[1]);
}

bool TomlReader::side(const toml::node& node, Side& out)
{
    const auto* text = node.as_string();
    if (text) {
        for (Side s : {Side::left, Side::right, Side::top, Side::bottom}) {
            if (text->get() == sideName(s)) {
                out = s;
                return true;
            }
        }
    }
    return fail(node, "side must be \"left\", \"right\", \"top\" or \"bottom\"");
}

bool TomlReader::wall(const toml::node& node, const std::string& which, Wall& out)
{
    if (const auto* text = node.as_string()) {
        if (text->get() == "slip")
            out = {Wall::Kind::slip, 0.0};
        else if (text->get() == "no-slip")
            out = {Wall::Kind::noSlip, 0.0};
        else
            return fail(node, "the " + which + " wall must be \"slip\", \"no-slip\" or { slide = speed }");
        return true;
    }
    const toml::table* slide = node.as_table();
    if (!slide || !slide->get("slide"))
        return fail(node, "the " + which + " wall must be \"slip\", \"no-slip\" or { slide = speed }");
    if (!onlyKnownKeys(*slide, " in the " + which + " wall", {"slide"}))
        return false;
    out.kind = Wall::Kind::sliding;
    return number(*slide->get("slide"), "the " + which + " wall's slide speed", out.slideSpeed);
}

bool TomlReader::range(const toml::table& table, const std::string& what, SideRange& out)
{
    const toml::node* sideNode = table.get("side");
    const toml::node* cells = table.get("cells");
    if (!sideNode || !cells)
        return fail(table, what + " needs side and cells");
    int64_t span[2];
    if (!side(*sideNode, out.side) || !wholePair(*cells, what + "'s cells", 0, UINT32_MAX, span))
        return false;
    out.first = uint32_t(span[0]);
    out.last = uint32_t(span[1]);
    return true;
}

bool TomlReader::optionalTemperature(const toml::table& entry, const std::string& what, double& out)
{
    const toml::node* node = entry.get("temperature");
    if (!node)
        return true;
    if (!firstTemperatureNode)
        firstTemperatureNode = node;
    return number(*node, what, out);
}
