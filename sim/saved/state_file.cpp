#include "sim/saved/state_file.h"

#include "sim/saved/sha256.h"
#include "sim/saved/whole_file.h"
#include "sim/scene/scene_file.h"

#include <array>
#include <cmath>
#include <cstring>

namespace {

constexpr std::string_view magic = "flowbox state\n";
constexpr size_t headerSize = magic.size() + 4 + 8;
constexpr size_t checksumSize = 32;  // SHA-256
// A grid of 4096 by 4096 cells with every field and a few thousand tracers
// stays well below it.
constexpr uint64_t largestBody = uint64_t(1) << 34;
// Far beyond any run, and far from the counters' limits when resumed.
constexpr uint64_t largestTick = uint64_t(1) << 40;

std::string checksum(std::string_view body)
{
    const std::array<uint8_t, checksumSize> hash = sha256(body);
    return std::string(reinterpret_cast<const char*>(hash.data()), hash.size());
}

class Writer {
public:
    std::string bytes;

    void whole(uint64_t value, int width)
    {
        for (int b = 0; b < width; ++b)
            bytes += char((value >> (8 * b)) & 0xff);
    }
    void real(double value)
    {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        whole(bits, 8);
    }
    void single(float value)
    {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        whole(bits, 4);
    }
    void text(const std::string& value)
    {
        whole(value.size(), 8);
        bytes += value;
    }
    void reals(const std::vector<double>& values)
    {
        whole(values.size(), 8);
        for (double value : values)
            real(value);
    }
};

// Reads the body front to back; the first thing wrong stops it and says what.
class Reader {
public:
    explicit Reader(std::string_view bytes) : rest(bytes) {}
    std::string problem;

    bool ok() const { return problem.empty(); }
    bool atEnd() const { return rest.empty(); }
    uint64_t whole(int width)
    {
        if (!take(size_t(width)))
            return 0;
        uint64_t value = 0;
        for (int b = 0; b < width; ++b)
            value |= uint64_t(uint8_t(taken[size_t(b)])) << (8 * b);
        return value;
    }
    double real()
    {
        const uint64_t bits = whole(8);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    float single()
    {
        const uint32_t bits = uint32_t(whole(4));
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    std::string text()
    {
        const uint64_t size = whole(8);
        if (!ok() || size > rest.size())
            return fail("ends inside a text"), std::string();
        take(size_t(size));
        return std::string(taken);
    }
    // An array of `expected` values - or none, where it may be left out -
    // each finite.
    std::vector<double> reals(const char* name, size_t expected, bool optional = false)
    {
        const uint64_t size = whole(8);
        std::vector<double> values;
        if (!ok())
            return values;
        if (size != expected && !(optional && size == 0)) {
            fail(std::string("its ") + name + " has " + std::to_string(size) + " values, not " +
                 std::to_string(expected));
            return values;
        }
        if (size > rest.size() / 8) {
            fail(std::string("ends inside its ") + name);
            return values;
        }
        values.resize(size_t(size));
        for (double& value : values) {
            value = real();
            if (!std::isfinite(value))
                return fail(std::string("its ") + name + " holds a value that is not a finite number"), values;
        }
        return values;
    }
    bool fail(const std::string& what)
    {
        if (problem.empty())
            problem = what;
        return false;
    }

private:
    bool take(size_t size)
    {
        if (!ok())
            return false;
        if (size > rest.size())
            return fail("ends too soon");
        taken = rest.substr(0, size);
        rest.remove_prefix(size);
        return true;
    }

    std::string_view rest;
    std::string_view taken;
};

bool readBody(std::string_view body, uint32_t version, uint32_t maxTrailPoints, SavedRun& run, std::string& problem)
{
    Reader in(body);
    const std::string sceneText = in.text();
    const std::string sceneFile = in.text();
    if (!in.ok())
        return problem = in.problem, false;
    if (sceneText.empty()) {
        run.scene = Scene::standard();
    } else {
        std::string sceneError;
        if (!parseScene(sceneText, sceneFile, run.scene, sceneError))
            return problem = "its scene cannot be read: " + sceneError, false;
    }
    const size_t nx = run.scene.nx, ny = run.scene.ny, cells = nx * ny;
    run.tick = in.whole(8);
    if (in.ok() && run.tick > largestTick)
        in.fail("its tick count " + std::to_string(run.tick) + " is beyond any run's");
    const std::string solid = in.text();
    if (in.ok() && solid.size() != cells)
        in.fail("its solid cells number " + std::to_string(solid.size()) + ", not " + std::to_string(cells));
    run.solid.assign(solid.begin(), solid.end());
    for (uint8_t flag : run.solid)
        if (flag > 1)
            in.fail("a cell is neither solid nor fluid");
    run.u = in.reals("velocity u", (nx + 1) * ny);
    run.v = in.reals("velocity v", nx * (ny + 1));
    run.pressure = in.reals("pressure", cells);
    run.pressureKnown = in.whole(1) != 0;
    run.pressureChange = in.reals("pressure change", cells, true);
    if (version == 1) {
        // What the viscosity solves added, where format 1 started them:
        // read past; the next solves start afresh, within their tolerance.
        in.reals("viscous change of u", (nx + 1) * ny, true);
        in.reals("viscous change of v", nx * (ny + 1), true);
    } else {
        run.diffused[0] = in.reals("diffused u", (nx + 1) * ny, true);
        run.diffused[1] = in.reals("diffused v", nx * (ny + 1), true);
        run.diffusedStep[0] = in.reals("diffused u's step", (nx + 1) * ny, true);
        run.diffusedStep[1] = in.reals("diffused v's step", nx * (ny + 1), true);
    }
    for (std::vector<double>& component : run.diffusedStepBefore)
        component.clear();
    run.stepsGrow[0] = run.stepsGrow[1] = false;
    if (version >= 4) {
        run.diffusedStepBefore[0] = in.reals("diffused u's step before", (nx + 1) * ny, true);
        run.diffusedStepBefore[1] = in.reals("diffused v's step before", nx * (ny + 1), true);
        for (bool& grows : run.stepsGrow)
            grows = in.whole(1) != 0;
    }
    for (std::vector<double>& channel : run.dye)
        channel = in.reals("dye", cells, true);
    if (in.ok() && (run.dye[0].empty() != run.dye[1].empty() || run.dye[0].empty() != run.dye[2].empty()))
        in.fail("its dye lacks a colour");
    run.temperature = in.reals("temperature", cells, true);
    run.balanced = in.reals("balanced temperature", cells, true);
    if (in.ok() && run.temperature.empty() != run.balanced.empty())
        in.fail("its temperatures are incomplete");
    run.liquid.clear();
    if (version >= 3) {
        const uint64_t particles = in.whole(8);
        if (in.ok() && particles > largestParticleCount)
            in.fail("it holds " + std::to_string(particles) + " particles, more than a scene may");
        else
            run.liquid = in.reals("liquid particles", size_t(particles) * 8, true);
    }
    run.randomState = uint32_t(in.whole(4));
    const uint64_t tracerCount = in.whole(4);
    run.tracers.clear();
    for (uint64_t t = 0; in.ok() && t < tracerCount; ++t) {
        SavedTracer tracer;
        tracer.x = in.single();
        tracer.y = in.single();
        tracer.trailLimit = uint32_t(in.whole(4));
        tracer.age = int32_t(uint32_t(in.whole(4)));
        tracer.lifetime = int32_t(uint32_t(in.whole(4)));
        tracer.dying = in.whole(1) != 0;
        const uint64_t points = in.whole(4);
        if (in.ok() && (points > maxTrailPoints || tracer.trailLimit >= maxTrailPoints))
            in.fail("a tracer's trail is longer than a trail can be");
        for (uint64_t k = 0; in.ok() && k < 2 * points; ++k)
            tracer.trail.push_back(in.single());
        bool finite = std::isfinite(tracer.x) && std::isfinite(tracer.y);
        for (float coordinate : tracer.trail)
            finite = finite && std::isfinite(coordinate);
        if (in.ok() && !finite)
            in.fail("a tracer lies at a point that is not a finite number");
        run.tracers.push_back(std::move(tracer));
    }
    if (in.ok() && !in.atEnd())
        in.fail("goes on after its last tracer");
    if (!in.ok())
        return problem = in.problem, false;
    return true;
}

}  // namespace

std::string writeState(const SavedRun& run)
{
    Writer body;
    body.text(run.scene.text);
    body.text(run.scene.file);
    body.whole(run.tick, 8);
    body.text(std::string(run.solid.begin(), run.solid.end()));
    body.reals(run.u);
    body.reals(run.v);
    body.reals(run.pressure);
    body.whole(run.pressureKnown, 1);
    body.reals(run.pressureChange);
    for (const std::vector<double>& component : run.diffused)
        body.reals(component);
    for (const std::vector<double>& component : run.diffusedStep)
        body.reals(component);
    for (const std::vector<double>& component : run.diffusedStepBefore)
        body.reals(component);
    for (bool grows : run.stepsGrow)
        body.whole(grows, 1);
    for (const std::vector<double>& channel : run.dye)
        body.reals(channel);
    body.reals(run.temperature);
    body.reals(run.balanced);
    body.whole(run.liquid.size() / 8, 8);
    body.reals(run.liquid);
    body.whole(run.randomState, 4);
    body.whole(run.tracers.size(), 4);
    for (const SavedTracer& tracer : run.tracers) {
        body.single(tracer.x);
        body.single(tracer.y);
        body.whole(tracer.trailLimit, 4);
        body.whole(uint32_t(tracer.age), 4);
        body.whole(uint32_t(tracer.lifetime), 4);
        body.whole(tracer.dying, 1);
        body.whole(tracer.trail.size() / 2, 4);
        for (float coordinate : tracer.trail)
            body.single(coordinate);
    }
    Writer file;
    file.bytes = magic;
    file.whole(stateFormatVersion, 4);
    file.whole(body.bytes.size(), 8);
    file.bytes += body.bytes;
    file.bytes += checksum(body.bytes);
    return file.bytes;
}

bool readState(std::string_view bytes, const std::string& source, uint32_t maxTrailPoints, SavedRun& run,
               std::string& error)
{
    auto refuse = [&](const std::string& what) {
        error = source + ": " + what;
        return false;
    };
    if (bytes.substr(0, magic.size()) != magic)
        return refuse("not a flowbox state file");
    Reader header(bytes.substr(magic.size()));
    const uint32_t version = uint32_t(header.whole(4));
    const uint64_t bodySize = header.whole(8);
    if (!header.ok())
        return refuse("truncated: it ends inside its header");
    if (version > stateFormatVersion)
        return refuse("written by a newer flowbox (state format " + std::to_string(version) +
                      "; this one reads format " + std::to_string(stateFormatVersion) + ")");
    if (version == 0)
        return refuse("damaged: its format version is 0");
    if (bodySize > largestBody)
        return refuse("damaged: its header gives a body of " + std::to_string(bodySize) + " bytes");
    const uint64_t expected = headerSize + bodySize + checksumSize;
    if (bytes.size() < expected)
        return refuse("truncated: " + std::to_string(bytes.size()) + " of its " + std::to_string(expected) +
                      " bytes");
    if (bytes.size() > expected)
        return refuse("damaged: " + std::to_string(bytes.size() - expected) + " bytes after its end");
    const std::string_view body = bytes.substr(headerSize, size_t(bodySize));
    if (checksum(body) != bytes.substr(headerSize + size_t(bodySize)))
        return refuse("damaged: its checksum does not match its contents");
    std::string problem;
    if (!readBody(body, version, maxTrailPoints, run, problem))
        return refuse("damaged: " + problem);
    return true;
}

bool loadStateFile(const std::string& path, uint32_t maxTrailPoints, SavedRun& run, std::string& error)
{
    std::string bytes, problem;
    if (!readWholeFile(path, headerSize + largestBody + checksumSize, bytes, problem)) {
        error = problem == "too large" ? path + ": too large for a flowbox state file"
                                       : path + ": cannot be read (" + problem + ")";
        return false;
    }
    return readState(bytes, path, maxTrailPoints, run, error);
}

bool saveStateFile(const std::string& path, const SavedRun& run, std::string& error)
{
    std::string problem;
    if (!writeWholeFile(path, writeState(run), problem)) {
        error = path + ": cannot be written (" + problem + ")";
        return false;
    }
    return true;
}
