#pragma once
// toml++ as the scene files' reader includes it, the same in every file that
// reads or writes a scene's TOML (one of them, toml_reader.cpp, compiles its
// implementation).

// The parser's own failures come back as values, not exceptions.
#define TOML_EXCEPTIONS 0
#define TOML_HEADER_ONLY 0
// toml++ up to 3.4 asserts a precondition that a malformed table header such
// as "[#" or "[[[" breaks (fixed upstream in 2026), where its own key parser
// goes on to report a parse error. Its assertions are therefore off here, and
// NDEBUG is never defined for it, which would turn them into assumptions the
// compiler may build on. The fuzzer (tests/fuzz) holds the reader to this.
#ifdef NDEBUG
#undef NDEBUG
#endif
#define TOML_ASSERT(expr) static_cast<void>(0)
#include <toml++/toml.h>
