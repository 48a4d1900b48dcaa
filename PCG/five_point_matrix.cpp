#include "PCG/five_point_matrix.h"

#include "PCG/vector_kernels.h"
#include "parallel/thread_pool.h"

#include "simd/dispatch.h"

#include <cstring>

namespace pcg {

FLOWBOX_KERNEL_TABLE(FivePointKernels, fivePointKernels)

void Coefficients::resize(size_t size)
{
    if (size != count) {
        values.reset(new double[size]);
        count = size;
    }
}

void reshapeFivePointMatrix(FivePointMatrix& matrix, uint32_t lines, uint32_t length)
{
    matrix.n = lines * length;
    matrix.lines = lines;
    matrix.length = length;
    for (Coefficients* c : {&matrix.lineBefore, &matrix.before, &matrix.diagonal, &matrix.after, &matrix.lineAfter})
        c->resize(matrix.n);
    matrix.symmetric = false;
    matrix.classes.clear();
}

void noteSymmetry(FivePointMatrix& matrix)
{
    const size_t n = matrix.n, length = matrix.length;
    // Bit patterns, not values: 0.0 and -0.0 are equal but not the same entry.
    matrix.symmetric =
        n > length &&
        std::memcmp(matrix.before.data() + 1, matrix.after.data(), (n - 1) * sizeof(double)) == 0 &&
        std::memcmp(matrix.lineBefore.data() + length, matrix.lineAfter.data(), (n - length) * sizeof(double)) == 0;
}

void classifyCoefficients(FivePointMatrix& matrix)
{
    classify(matrix.n, [&](size_t k, double* tuple) {
        tuple[0] = matrix.lineBefore[k];
        tuple[1] = matrix.before[k];
        tuple[2] = matrix.diagonal[k];
        tuple[3] = matrix.after[k];
        tuple[4] = matrix.lineAfter[k];
    }, matrix.classes);
}

bool readFivePointMatrix(const RowListMatrix& matrix, FivePointMatrix& fivePoint)
{
    const uint32_t n = matrix.n;
    if (n == 0)
        return false;
    const auto firstRow = matrix.rowColumns[0];  // 0, 1 and the first cell of the next line
    if (firstRow.size() != 3 || firstRow[0] != 0 || firstRow[1] != 1)
        return false;
    const uint32_t length = firstRow[2];
    if (length < 3 || n % length != 0)
        return false;
    const uint32_t lines = n / length;
    reshapeFivePointMatrix(fivePoint, lines, length);

    uint32_t k = 0;
    for (uint32_t line = 0; line < lines; ++line) {
        for (uint32_t position = 0; position < length; ++position, ++k) {
            // The row's entries must be exactly the grid's neighbours, in column order.
            const bool up = line > 0, left = position > 0, right = position + 1 < length, down = line + 1 < lines;
            const auto columns = matrix.rowColumns[k];
            if (columns.size() != 1u + up + left + right + down)
                return false;
            const uint32_t* column = columns.data();
            const double* value = matrix.rowValues[k].data();
            auto take = [&](bool exists, uint32_t expected, Coefficients& into) {
                if (!exists) {
                    into[k] = 0.0;
                    return true;
                }
                into[k] = *value++;
                return *column++ == expected;
            };
            if (!(take(up, k - length, fivePoint.lineBefore) && take(left, k - 1, fivePoint.before) &&
                  take(true, k, fivePoint.diagonal) && take(right, k + 1, fivePoint.after) &&
                  take(down, k + length, fivePoint.lineAfter)) ||
                fivePoint.diagonal[k] == 0.0)
                return false;
        }
    }
    noteSymmetry(fivePoint);
    return true;
}

FivePointRows rowsOf(const FivePointMatrix& a)
{
    return {a.n,
            a.length,
            a.lines,
            a.lineBefore.data(),
            a.before.data(),
            a.diagonal.data(),
            a.after.data(),
            a.lineAfter.data(),
            a.symmetric,
            a.classes.classesOrNull(),
            a.classes.tuplesOrNull()};
}

double applyFivePointAndDot(const FivePointMatrix& matrix, const double* x, double* result)
{
    const FivePointKernels& kernels = fivePointKernels();
    const FivePointRows rows = rowsOf(matrix);
    // A large product's lines over the threads, where they are free; the
    // inner product of the same terms after it, in the same order.
    if (matrix.n < 2 * parallel::cellsWorthAThread || !parallel::splitsWork())
        return kernels.productAndDot(rows, x, result);
    parallel::forLines(matrix.lines, matrix.length, [&](size_t first, size_t last) {
        kernels.product(rows, x, result, uint32_t(first), uint32_t(last));
    });
    return vectorKernels().innerProduct(matrix.n, x, result);
}

}  // namespace pcg
