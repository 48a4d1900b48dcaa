// libFuzzer target: any bytes as a state file, and - so that the fuzzer gets
// past the checksum to what it guards - any bytes as a state file's body,
// sealed with a good header and checksum. The reader must refuse or accept
// without a crash, a sanitizer report or a hang; what it accepts must fit
// its scene's grid.
#include "sim/saved/sha256.h"
#include "sim/saved/state_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr uint32_t trailPoints = 51;

void check(std::string_view bytes)
{
    SavedRun run;
    std::string error;
    if (readState(bytes, "fuzz.state", trailPoints, run, error)) {
        const size_t nx = run.scene.nx, ny = run.scene.ny;
        if (run.solid.size() != nx * ny || run.u.size() != (nx + 1) * ny || run.v.size() != nx * (ny + 1) ||
            run.pressure.size() != nx * ny)
            std::abort();  // accepted fields that do not fit the grid
    } else if (error.empty() || error.find('\n') != std::string::npos || error.rfind("fuzz.state: ", 0) != 0) {
        std::abort();  // a refusal is one line naming the file
    }
}

std::string sealed(std::string_view body)
{
    std::string file = "flowbox state\n";
    for (int b = 0; b < 4; ++b)
        file += char((stateFormatVersion >> (8 * b)) & 0xff);
    for (int b = 0; b < 8; ++b)
        file += char((uint64_t(body.size()) >> (8 * b)) & 0xff);
    file += body;
    for (const uint8_t b : sha256(body))
        file += char(b);
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(bytes);
    check(sealed(bytes));
    return 0;
}
