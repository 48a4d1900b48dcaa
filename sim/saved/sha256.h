#pragma once
// SHA-256 (FIPS 180-4), the checksum a saved run ends with.

#include <array>
#include <cstdint>
#include <string_view>

std::array<uint8_t, 32> sha256(std::string_view bytes);
