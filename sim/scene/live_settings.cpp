#include "sim/scene/live_settings.h"

#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

namespace {

std::string withDigits(double value, int digits)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(digits) << value;
    return out.str();
}

// As short as the value allows, and exact: what the field shows is what the scene holds.
std::string shown(double value)
{
    const std::string six = withDigits(value, 6);
    std::istringstream in(six);
    in.imbue(std::locale::classic());
    double back = 0.0;
    in >> back;
    return back == value ? six : withDigits(value, 17);
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::vector<LiveSetting> liveSettings(const Scene& scene)
{
    std::vector<LiveSetting> settings;
    settings.push_back({"Viscosity", "fluid.viscosity", shown(scene.viscosity)});
    for (size_t k = 0; k < scene.inflows.size(); ++k)
        settings.push_back({"Inflow " + std::to_string(k + 1) + " speed (" + sideName(scene.inflows[k].range.side) + ")",
                            "inflow[" + std::to_string(k) + "].speed", shown(scene.inflows[k].speed)});
    settings.push_back({"Gravity (x, y)", "fluid.gravity", shown(scene.gravityX) + ", " + shown(scene.gravityY)});
    if (scene.heat.enabled) {
        settings.push_back({"Expansion", "heat.expansion", shown(scene.heat.expansion)});
        for (const Side side : {Side::left, Side::right, Side::top, Side::bottom})
            if (const double held = scene.heat.wall[int(side)]; !std::isnan(held))
                settings.push_back({std::string("Temperature, ") + sideName(side) + " wall",
                                    std::string("heat.walls.") + sideName(side), shown(held)});
    }
    settings.push_back({"Time step", "time.step", shown(scene.timeStep)});
    return settings;
}

bool liveSettingValue(const std::string& text, SceneValue& value, std::string& problem)
{
    std::vector<SceneValue> numbers;
    for (size_t start = 0;;) {
        const size_t comma = text.find(',', start);
        const std::string part =
            trimmed(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        std::istringstream in(part);
        in.imbue(std::locale::classic());
        double number = 0.0;
        in >> number;
        if (part.empty() || in.fail() || !in.eof())
            return problem = "\"" + part + "\" is not a number", false;
        numbers.push_back({SceneValue::Kind::number, number, 0, false, {}, {}});
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (numbers.size() == 1) {
        value = numbers[0];
    } else {
        value = SceneValue{};
        value.kind = SceneValue::Kind::list;
        value.items = std::move(numbers);
    }
    return true;
}
