#include "PCG/sparse_matrix.h"

#include <cassert>

namespace pcg {

RowListMatrix::RowListMatrix(uint32_t size)
    : n(size), rowColumns(size, reservedEntriesPerRow), rowValues(size, reservedEntriesPerRow)
{
}

void RowListMatrix::addToRow(uint32_t row, const std::vector<uint32_t>& listColumns,
                             const std::vector<double>& listValues)
{
    if (rowColumns[row].empty()) {  // nothing to merge with: the list as it stands
        rowColumns.assign(row, listColumns.data(), uint32_t(listColumns.size()));
        rowValues.assign(row, listValues.data(), uint32_t(listValues.size()));
        return;
    }
    uint32_t k = 0;
    size_t p = 0;
    while (p < listColumns.size() && k < rowColumns[row].size()) {
        const uint32_t stored = rowColumns[row][k];
        if (stored < listColumns[p]) {
            ++k;
        } else if (stored == listColumns[p]) {
            double& value = rowValues.at(row, k);
            value = listValues[p] + value;
            ++p;
            ++k;
        } else {
            // k stays: the next comparison is against the entry just inserted
            rowColumns.insert(row, k, listColumns[p]);
            rowValues.insert(row, k, listValues[p]);
            ++p;
        }
    }
    for (; p < listColumns.size(); ++p) {
        rowColumns.append(row, listColumns[p]);
        rowValues.append(row, listValues[p]);
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
        const auto& rowColumns = rowList.rowColumns[i];
        const auto& rowValues = rowList.rowValues[i];
        for (size_t e = 0; e < rowColumns.size(); ++e) {
            *values++ = rowValues[e];
            *columns++ = rowColumns[e];
        }
    }
}

namespace {

// One row's sum, entry by entry in stored order.
template <size_t count>
inline double shortRowProduct(const double* v, const uint32_t* c, const double* x)
{
    double sum = 0.0;
    for (size_t k = 0; k < count; ++k)  // unrolled completely by the compiler
        sum = x[c[k]] * v[k] + sum;
    return sum;
}

inline double rowProduct(const double* values, const uint32_t* columns, uint32_t begin, uint32_t end,
                         const double* x)
{
    const double* v = values + begin;
    const uint32_t* c = columns + begin;
    // Rows of up to five entries, the pressure matrix's, run without a loop.
    switch (end - begin) {
    case 0:
        return 0.0;
    case 1:
        return shortRowProduct<1>(v, c, x);
    case 2:
        return shortRowProduct<2>(v, c, x);
    case 3:
        return shortRowProduct<3>(v, c, x);
    case 4:
        return shortRowProduct<4>(v, c, x);
    case 5:
        return shortRowProduct<5>(v, c, x);
    default: {
        double sum = 0.0;
        for (size_t k = 0, count = end - begin; k < count; ++k)
            sum = x[c[k]] * v[k] + sum;
        return sum;
    }
    }
}

// result := matrix * x, handing each row's result to eachRow as it is formed.
template <typename EachRow>
void multiplyRows(const CompressedMatrix& matrix, const std::vector<double>& x, std::vector<double>& result,
                  EachRow eachRow)
{
    assert(matrix.n==x.size());
    result.resize(matrix.n);
    const double* values = matrix.entryValues.data();
    const uint32_t* columns = matrix.entryColumns.data();
    const uint32_t* offsets = matrix.rowOffsets.data();
    const double* in = x.data();
    double* out = result.data();
    for (uint32_t i = 0; i < matrix.n; ++i) {
        out[i] = rowProduct(values, columns, offsets[i], offsets[i + 1], in);
        eachRow(i, out[i]);
    }
}

}  // namespace

void applyMatrix(const CompressedMatrix& matrix, const std::vector<double>& x,
                 std::vector<double>& result)
{
    multiplyRows(matrix, x, result, [](uint32_t, double) {});
}

double applyMatrixAndDot(const CompressedMatrix& matrix, const std::vector<double>& x,
                         std::vector<double>& result)
{
    double dot = 0.0;
    multiplyRows(matrix, x, result, [&dot, in = x.data()](uint32_t i, double product) { dot += product * in[i]; });
    return dot;
}

}  // namespace pcg
