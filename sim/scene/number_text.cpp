#include "sim/scene/number_text.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <locale>
#include <sstream>

namespace {

// A decimal: digits (as a whole number) times ten to the power of exponent
// less the digits after the first.
struct Decimal {
    uint64_t digits;
    int count;     // of digits
    int exponent;  // of the first digit
};

// value's nearest decimal of `precision` + 1 digits, in the "C" locale.
Decimal nearestDecimal(double value, int precision)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::scientific << std::setprecision(precision) << std::fabs(value);
    const std::string text = out.str();
    const size_t e = text.find('e');
    Decimal decimal{0, 0, std::atoi(text.c_str() + e + 1)};
    for (size_t k = 0; k < e; ++k)
        if (text[k] >= '0' && text[k] <= '9') {
            decimal.digits = decimal.digits * 10 + uint64_t(text[k] - '0');
            ++decimal.count;
        }
    return decimal;
}

// The decimal one unit of its last digit up or down, its digits kept as many.
Decimal step(Decimal decimal, int by)
{
    uint64_t power = 1;
    for (int k = 1; k < decimal.count; ++k)
        power *= 10;
    decimal.digits += uint64_t(int64_t(by));
    if (decimal.digits == power * 10) {  // 9.99 up to 10.0
        decimal.digits = power;
        ++decimal.exponent;
    } else if (decimal.digits < power && decimal.count > 1) {  // 1.00 down to 0.999
        decimal.digits = decimal.digits * 10 + 9;
        --decimal.exponent;
    }
    return decimal;
}

std::string digitsOf(const Decimal& decimal)
{
    std::string digits = std::to_string(decimal.digits);
    return std::string(size_t(decimal.count) - digits.size(), '0') + digits;
}

// Read in the "C" locale; NaN where it does not read as a finite number.
double readBack(const Decimal& decimal)
{
    std::istringstream in(digitsOf(decimal) + "e" + std::to_string(decimal.exponent - decimal.count + 1));
    in.imbue(std::locale::classic());
    double value = 0.0;
    in >> value;
    return in.fail() || !std::isfinite(value) ? std::nan("") : value;
}

// The fewest digits that read back as value (positive), the nearest of them.
Decimal shortest(double value)
{
    for (int precision = 0;; ++precision) {
        const Decimal nearest = nearestDecimal(value, precision);
        const double back = readBack(nearest);
        if (back == value || precision == 16)
            return nearest;
        // At a power of two the doubles around are not evenly spaced: the
        // nearest decimal may read as the neighbour while the next one up or
        // down reads back.
        const int towards = back < value ? 1 : -1;
        for (int by : {towards, -towards}) {
            const Decimal next = step(nearest, by);
            if (next.count == nearest.count && readBack(next) == value)
                return next;
        }
    }
}

}  // namespace

std::string shortNumber(double value)
{
    if (std::isnan(value))
        return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value))
        return value < 0.0 ? "-inf" : "inf";
    if (value == 0.0)
        return std::signbit(value) ? "-0" : "0";
    const Decimal decimal = shortest(std::fabs(value));
    const std::string digits = digitsOf(decimal);
    const int count = decimal.count, exponent = decimal.exponent;

    std::string scientific = digits.substr(0, 1);
    if (count > 1)
        scientific += "." + digits.substr(1);
    const int magnitude = std::abs(exponent);
    scientific += std::string(exponent < 0 ? "e-" : "e+") + (magnitude < 10 ? "0" : "") + std::to_string(magnitude);

    std::string fixed;
    if (exponent >= count - 1) {
        // A whole number: of the digits as long as its shortest ones padded
        // with zeros, the nearest are its own.
        std::ostringstream whole;
        whole.imbue(std::locale::classic());
        whole << std::fixed << std::setprecision(0) << std::fabs(value);
        fixed = whole.str();
    }
    else if (exponent >= 0)
        fixed = digits.substr(0, size_t(exponent + 1)) + "." + digits.substr(size_t(exponent + 1));
    else
        fixed = "0." + std::string(size_t(-exponent - 1), '0') + digits;
    return (value < 0.0 ? "-" : "") + (scientific.size() < fixed.size() ? scientific : fixed);
}
