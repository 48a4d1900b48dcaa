#include "PCG/sparse_matrix.h"

#include <cassert>

namespace pcg {

RowListMatrix::RowListMatrix(uint32_t size) : n(size), rowColumns(size), rowValues(size)
{
    for (uint32_t i = 0; i < n; ++i) {
        rowColumns[i].reserve(reservedEntriesPerRow);
        rowValues[i].reserve(reservedEntriesPerRow);
    }
}

void RowListMatrix::addToRow(uint32_t row, const std::vector<uint32_t>& listColumns,
                             const std::vector<double>& listValues)
{
    std::vector<uint32_t>& columns = rowColumns[row];
    std::vector<double>& values = rowValues[row];
    size_t k = 0;
    size_t p = 0;
    while (p < listColumns.size() && k < columns.size()) {
        if (columns[k] < listColumns[p]) {
            ++k;
        } else if (columns[k] == listColumns[p]) {
            values[k] = listValues[p] + values[k];
            ++p;
            ++k;
        } else {
            // k stays: the next comparison is against the entry just inserted
            columns.insert(columns.begin() + ptrdiff_t(k), listColumns[p]);
            values.insert(values.begin() + ptrdiff_t(k), listValues[p]);
            ++p;
        }
    }
    for (; p < listColumns.size(); ++p) {
        columns.push_back(listColumns[p]);
        values.push_back(listValues[p]);
    }
}

void CompressedMatrix::compressFrom(const RowListMatrix& rowList)
{
    n = rowList.n;
    rowOffsets.resize(size_t(n) + 1);
    rowOffsets[0] = 0;
    for (uint32_t i = 0; i < n; ++i)
        rowOffsets[i + 1] = rowOffsets[i] + uint32_t(rowList.rowColumns[i].size());

    entryValues.resize(rowOffsets[n]);
    entryColumns.resize(rowOffsets[n]);
    double* values = entryValues.data();
    uint32_t* columns = entryColumns.data();
    for (uint32_t i = 0; i < n; ++i) {
        const std::vector<uint32_t>& rowColumns = rowList.rowColumns[i];
        const std::vector<double>& rowValues = rowList.rowValues[i];
        for (size_t e = 0; e < rowColumns.size(); ++e) {
            *values++ = rowValues[e];
            *columns++ = rowColumns[e];
        }
    }
}

void applyMatrix(const CompressedMatrix& matrix, const std::vector<double>& x,
                 std::vector<double>& result)
{
    assert(matrix.n==x.size());
    result.resize(matrix.n);
    const double* values = matrix.entryValues.data();
    const uint32_t* columns = matrix.entryColumns.data();
    const uint32_t* offsets = matrix.rowOffsets.data();
    const double* in = x.data();
    double* out = result.data();
    for (uint32_t i = 0; i < matrix.n; ++i) {
        double sum = 0.0;
        for (uint32_t j = offsets[i]; j < offsets[i + 1]; ++j)
            sum = in[columns[j]] * values[j] + sum;
        out[i] = sum;
    }
}

}  // namespace pcg
