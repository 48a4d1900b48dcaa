#pragma once
// The shapes a scene file's values take - numbers, whole numbers, pairs,
// sides, walls, openings - each read from a TOML node or refused in the
// file's own words: one line with its place in the file.

#include "sim/scene/scene.h"
#include "sim/scene/toml.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

class TomlReader {
public:
    // source names the file in messages; a refusal leaves its line in error.
    TomlReader(const std::string& source, std::string& error) : source(source), error(error) {}

    // Sets the one line, "SOURCE:LINE:COLUMN: what" (or "SOURCE: what" with
    // no place), and returns false.
    bool fail(const toml::source_region& where, const std::string& what);
    bool fail(const toml::node& node, const std::string& what) { return fail(node.source(), what); }

    // Every key of the table is one of known; the first that is not is named
    // with the nearest known one.
    bool onlyKnownKeys(const toml::table& table, const std::string& where, std::initializer_list<const char*> known);
    // The table under key, or nullptr where there is none; ok false (refused) where it is not a table.
    const toml::table* table(const toml::table& parent, const char* key, bool& ok);

    bool number(const toml::node& node, const std::string& what, double& out);
    bool optionalNumber(const toml::table& table, const char* key, const std::string& what, double& out);
    // A whole number that the scene's field can hold, lowest to highest; what
    // the scene allows of it, the scene judges.
    bool whole(const toml::node& node, const std::string& what, int64_t lowest, int64_t highest, int64_t& out);
    bool optionalWhole(const toml::table& table, const char* key, const std::string& what, int64_t lowest,
                       int64_t highest, int64_t& out);
    // An array of exactly two numbers, or of two whole numbers.
    bool pair(const toml::node& node, const std::string& what, double out[2]);
    bool wholePair(const toml::node& node, const std::string& what, int64_t lowest, int64_t highest, int64_t out[2]);

    bool side(const toml::node& node, Side& out);
    bool wall(const toml::node& node, const std::string& which, Wall& out);
    // The side and cells of an opening.
    bool range(const toml::table& table, const std::string& what, SideRange& out);

    // A band's or a solid's temperature, which only a scene with heat takes:
    // the first one read is kept, to be refused where the scene has no heat.
    bool optionalTemperature(const toml::table& entry, const std::string& what, double& out);
    const toml::node* firstTemperature() const { return firstTemperatureNode; }

    // Each entry of an array of tables [[key]], read in turn.
    template <typename Read>
    bool eachTable(const toml::table& root, const char* key, Read read)
    {
        const toml::node* node = root.get(key);
        if (!node)
            return true;
        const toml::array* array = node->as_array();
        if (!array)
            return fail(*node, std::string(key) + " must be written [[" + key + "]]");
        for (const toml::node& entry : *array) {
            if (!entry.is_table())
                return fail(entry, std::string(key) + " must be written [[" + key + "]]");
            if (!read(*entry.as_table()))
                return false;
        }
        return true;
    }

private:
    const std::string& source;
    std::string& error;
    const toml::node* firstTemperatureNode = nullptr;
};

// toml++ up to 3.4 reaches an "unreachable" point (undefined behaviour) when
// it asks whether some characters beyond ASCII are blank, which it does
// outside strings and within them after a backslash. Rather than follow the
// parser's every turn, scene files are ASCII: the first byte beyond is
// refused before the parser sees the text. Returns its 1-based line and
// column, or line 0.
std::pair<size_t, size_t> firstNonAscii(std::string_view text);
