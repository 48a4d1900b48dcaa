#pragma once
// Files read and written whole, with the system's reason when they cannot be.

#include <cstdint>
#include <string>
#include <string_view>

// Reads the whole file at path, refusing one larger than `largest` bytes
// (problem: "too large") before reading it.
bool readWholeFile(const std::string& path, uint64_t largest, std::string& bytes, std::string& problem);

// Writes bytes as the whole file at path, all or nothing: into a new file
// beside it, flushed to the disk and then renamed over it, so that the file
// is the old one or the new one whatever happens meanwhile. A file that was
// there keeps its permissions; a new one takes the usual ones.
bool writeWholeFile(const std::string& path, std::string_view bytes, std::string& problem);
