#pragma once

#include <cstdint>

namespace pcg {

// What preconditions a conjugate gradient solve.
enum class Preconditioner : uint8_t {
    incompleteCholesky,  // modified, of zero fill-in: any symmetric matrix
    multigrid,           // a V-cycle (multigrid.h): five-point matrices; others take the factor
};

}  // namespace pcg
