#pragma once
// Square sparse matrices of doubles: a row-list form for assembly and a
// compressed-row form for products. Every stored entry is explicit; a
// symmetric matrix stores both (i, j) and (j, i).

#include "PCG/row_lists.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pcg {

struct RowListMatrix {
    static constexpr uint32_t reservedEntriesPerRow = 5;  // the most a pressure row holds

    uint32_t n = 0;                // rows, equal to columns
    RowLists<uint32_t> rowColumns; // per row: strictly increasing columns
    RowLists<double> rowValues;    // per row: values parallel to rowColumns

    explicit RowListMatrix(uint32_t size = 0);

    // Merges a list in strictly increasing column order into the row: known
    // columns are summed, new ones inserted in place.
    void addToRow(uint32_t row, const std::vector<uint32_t>& listColumns,
                  const std::vector<double>& listValues);
};

struct CompressedMatrix {
    uint32_t n = 0;                           // rows
    std::vector<double> entryValues;          // all stored values, row after row
    std::vector<uint32_t> entryColumns;       // column of each value
    std::vector<uint32_t> rowOffsets{0};      // row i spans [rowOffsets[i], rowOffsets[i+1])

    void compressFrom(const RowListMatrix& rowList);
};

// result := matrix * x; result is resized to n when its length differs.
void applyMatrix(const CompressedMatrix& matrix, const std::vector<double>& x,
                 std::vector<double>& result);

// The same product, returning <x, result> summed in element order as
// innerProduct(x, result) would: one pass instead of two.
double applyMatrixAndDot(const CompressedMatrix& matrix, const std::vector<double>& x,
                         std::vector<double>& result);

}  // namespace pcg
