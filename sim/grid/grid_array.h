#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Dense two-dimensional array of doubles, second index fastest. The elements
// are left uninitialised; access is unchecked.
struct GridArray {
    std::unique_ptr<double[]> data;  // extent[0] * extent[1] elements
    uint32_t extent[2];

    GridArray(uint32_t extent0, uint32_t extent1)
        : data(new double[size_t(extent0) * extent1]), extent{extent0, extent1}
    {
    }

    double& at(uint32_t a, uint32_t b) { return data[size_t(a) * extent[1] + b]; }
    double at(uint32_t a, uint32_t b) const { return data[size_t(a) * extent[1] + b]; }
    size_t size() const { return size_t(extent[0]) * extent[1]; }
    // Every element in order, and back from such a copy (of size() elements).
    std::vector<double> values() const { return std::vector<double>(data.get(), data.get() + size()); }
    void assign(const std::vector<double>& from) { std::copy(from.begin(), from.end(), data.get()); }
};
