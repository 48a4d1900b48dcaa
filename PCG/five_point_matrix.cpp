#include "PCG/five_point_matrix.h"

#include "PCG/vector_kernels.h"
#include "parallel/thread_pool.h"

#include "simd/dispatch.h"

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
    return true;
}

FivePointRows rowsOf(const FivePointMatrix& a)
{
    return {a.n,           a.length,      a.lines,          a.lineBefore.data(),
            a.before.data(), a.diagonal.data(), a.after.data(), a.lineAfter.data()};
}

double applyFivePointAndDot(const FivePointMatrix& matrix, const double* x, double* result)
{
    const FivePointKernels& kernels = fivePointKernels();
    const FivePointRows rows = rowsOf(matrix);
    if (matrix.n < 2 * parallel::cellsWorthAThread || parallel::threadCount() == 1)
        return kernels.productAndDot(rows, x, result);
    // A large product's lines over the threads; the inner product of the
    // same terms after it, in the same order.
    parallel::forLines(matrix.lines, matrix.length, [&](size_t first, size_t last) {
        kernels.product(rows, x, result, uint32_t(first), uint32_t(last));
    });
    return vectorKernels().innerProduct(matrix.n, x, result);
}

}  // namespace pcg
