#pragma once
// A grid's coefficients by class. A matrix of uniform material on a regular
// grid, and its factor, hold few distinct tuples of coefficients (a 1024² cell
// viscosity matrix seven, its factor some three thousand), so each cell can
// name its tuple in two bytes instead of holding its doubles: the kernels that
// stream the coefficients read a quarter of a pass instead of several. The
// tuples are the cells' own, bit for bit, so every result stays the same.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pcg {

template <size_t Width>
struct CoefficientClasses {
    std::vector<uint16_t> classOf;  // each cell's tuple, by its index in `tuples`
    std::vector<double> tuples;     // Width doubles a class

    bool held() const { return !classOf.empty(); }
    // What a kernel reads: null where the classes are not held.
    const uint16_t* classesOrNull() const { return held() ? classOf.data() : nullptr; }
    const double* tuplesOrNull() const { return held() ? tuples.data() : nullptr; }
    void clear()
    {
        classOf.clear();
        tuples.clear();
    }
};

// More distinct tuples than two bytes can name: the coefficients are held as they are.
constexpr size_t classLimit = size_t(1) << 16;

// Sorts the n cells' tuples (tupleOf(k, double* into) writes cell k's) into
// classes, compared by their bits (0.0 and -0.0 differ). Returns false, with
// `classes` cleared, when there are more than classLimit of them.
template <size_t Width, typename TupleOf>
bool classify(size_t n, TupleOf tupleOf, CoefficientClasses<Width>& classes)
{
    size_t bucketCount = 64;  // at most half full
    while (bucketCount < 2 * n && bucketCount < 2 * classLimit)
        bucketCount *= 2;
    classes.clear();
    classes.classOf.resize(n);
    std::vector<uint32_t> buckets(bucketCount, 0);  // class + 1, 0 for none
    std::array<double, Width> tuple{}, previous{};
    uint16_t previousClass = 0;
    for (size_t k = 0; k < n; ++k) {
        tupleOf(k, tuple.data());
        // Neighbouring cells mostly share a class.
        if (k > 0 && std::memcmp(tuple.data(), previous.data(), sizeof tuple) == 0) {
            classes.classOf[k] = previousClass;
            continue;
        }
        uint64_t hash = 0;
        for (double value : tuple) {
            uint64_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            hash = (hash ^ bits) * 0x9E3779B97F4A7C15ull;
            hash ^= hash >> 29;
        }
        size_t bucket = hash & (bucketCount - 1);
        while (buckets[bucket] != 0 &&
               std::memcmp(&classes.tuples[(buckets[bucket] - 1) * Width], tuple.data(), sizeof tuple) != 0)
            bucket = (bucket + 1) & (bucketCount - 1);
        if (buckets[bucket] == 0) {
            const size_t count = classes.tuples.size() / Width;
            if (count == classLimit) {
                classes.clear();
                return false;
            }
            classes.tuples.insert(classes.tuples.end(), tuple.begin(), tuple.end());
            buckets[bucket] = uint32_t(count + 1);
        }
        previousClass = uint16_t(buckets[bucket] - 1);
        previous = tuple;
        classes.classOf[k] = previousClass;
    }
    return true;
}

}  // namespace pcg
