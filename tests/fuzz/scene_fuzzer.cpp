// libFuzzer target: any bytes as a scene file. The reader must refuse or
// accept without a crash, a sanitizer report or a hang, and an accepted
// scene must be one the solver can be built on.
#include "sim/scene/scene.h"
#include "sim/scene/scene_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Scene scene;
    std::string error;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (parseScene(text, "fuzz.toml", scene, error)) {
        if (!scene.problem().empty() || scene.nx < 2 || scene.ny < 2)
            std::abort();  // accepted what the checks refuse
        // The per-cell flags are what the solver builds first: keep them small.
        if (size_t(scene.nx) * scene.ny <= 1u << 16)
            (void)scene.solidCells();
    } else if (error.empty() || error.find('\n') != std::string::npos || error.rfind("fuzz.toml", 0) != 0) {
        std::abort();  // a refusal is one line naming the file
    }
    return 0;
}
