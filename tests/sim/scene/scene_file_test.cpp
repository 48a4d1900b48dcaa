// The scene file: a bad file gets one line with its place and runs nothing,
// changed values reach only what the file holds, and what a file leaves out
// takes the documented defaults.
#include "sim/scene/scene_file.h"

#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using testing_support::sceneFrom;

TEST(SceneFile, BadFilesGetOneLineWithTheirPlaceAndRunNothing)
{
    struct Case {
        const char* text;
        const char* message;  // a part of the one line
    };
    const Case cases[] = {
        {"[grid\ncells = [4, 4]\n", "test.toml:1:"},
        // Headers that trip an assertion inside toml++ 3.3 and 3.4.
        {"[grid]\ncells = [4, 4]\n[#\n", "test.toml:3:2:"},
        {"[[[1]]]\n", "test.toml:1:3:"},
        // What the parser quotes stays on the one line.
        {"[grid]\ncells = [8, 8]\ncell_size = in\n", "saw 'in\\n'"},
        // Characters beyond ASCII, where toml++ 3.3 and 3.4 meet undefined
        // behaviour: in values, and in strings after a backslash.
        {"[grid]\ncells = [4, \xcf\xa2]\n", "test.toml:2:13: a character beyond ASCII (scene files are ASCII)"},
        {"name = \"\"\"x\\  \n \xc3\xa9\"\"\"\n", "test.toml:2:2: a character beyond ASCII"},
        {"# K\xc3\xa1rm\xc3\xa1n\n[grid]\ncells = [2, 2]\n", "test.toml:1:4: a character beyond ASCII"},
        {"[grid]\ncells = [4, 4]\ncell_sise = 1.0\n", "test.toml:3:1: unknown key \"cell_sise\" in [grid] (the nearest known one is \"cell_size\")"},
        {"gird = 1\n[grid]\ncells = [4, 4]\n", "unknown key \"gird\" (the nearest known one is \"grid\")"},
        {"[fluid]\ndensity = 1.0\n", "[grid] cells = [nx, ny] is required"},
        {"[grid]\ncells = [1, 4]\n", "test.toml:2:10: [grid] cells must lie between 2 and 4096, not 1"},
        {"[grid]\ncells = [4097, 4]\n", "must lie between 2 and 4096"},
        {"[grid]\ncells = [4, \"4\"]\n", "must be a whole number"},
        {"[grid]\ncells = [4, 4]\ncell_size = -1.0\n", "test.toml:3:13: [grid] cell_size must be positive"},
        {"[grid]\ncells = [4, 4]\n[time]\nstep = 0\n", "[time] step must be positive"},
        {"[grid]\ncells = [4, 4]\n[fluid]\ngravity = [1.0]\n", "gravity must be an array of two numbers"},
        {"[grid]\ncells = [4, 4]\n[fluid]\nviscosity = nan\n", "must be finite"},
        {"[grid]\ncells = [4, 4]\n[walls]\ntop = \"sticky\"\n", "the top wall must be"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 4]\nspeed = 1.0\n[[outlet]]\nside = \"right\"\ncells = [0, 3]\n",
         "do not lie along the left side, which has 4 cells"},
        {"[grid]\ncells = [4, 4]\n[walls]\ntop = { slide = 1.0 }\n[[outlet]]\nside = \"top\"\ncells = [0, 1]\n",
         "an opening on the top wall, which slides"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 1]\nspeed = 1.0\n",
         "test.toml: without an outlet the bands must balance"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\nrectangle = { from = [0, 0], to = [3, 3] }\n", "the solids leave no fluid cell"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\nrectangle = { from = [0, 0], to = [4, 3] }\n", "must lie inside the grid"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\ndisc = { centre = [9.0, 1.0], radius = 1.0 }\n", "centre must lie inside"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\ndisc = { centre = [1.0, 1.0], radius = 1.0 }\nrectangle = { from = [0, 0], to = [1, 1] }\n",
         "either a disc or a rectangle"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"up\"\ncells = [0, 1]\nspeed = 1.0\n", "side must be"},
        {"[grid]\ncells = [4, 4]\n[solver]\niteration_limit = 0\n", "iteration_limit must lie between 1"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\ndye = [1.0, 2.0, 0.0]\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n", "dye is [red, green, blue], each from 0 to 1"},
        {"[grid]\ncells = [4, 4]\n[[outflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\ndye = [1.0, 0.0, 0.0]\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n", "unknown key \"dye\" in [[outflow]]"},
        {"[grid]\ncells = [4, 4]\n[interaction]\nradius = 0.0\n", "[interaction] radius must lie above 0"},
        {"[grid]\ncells = [4, 4]\n[interaction]\nstrenght = 1.0\n", "(the nearest known one is \"strength\")"},
        {"inflow = 3\n[grid]\ncells = [4, 4]\n", "inflow must be written [[inflow]]"},
        {"[grid]\ncells = [4, 4]\n[[outlet]]\nside = \"left\"\ncells = [0, 2]\n[[outlet]]\nside = \"left\"\ncells = [2, 3]\n",
         "two openings overlap"},
        // An opening's first and last cells, on every side, may not be solid.
        {"[grid]\ncells = [6, 6]\n[[outlet]]\nside = \"right\"\ncells = [0, 3]\n"
         "[[solid]]\nrectangle = { from = [5, 3], to = [5, 3] }\n", "an opening leads into a solid cell"},
        {"[grid]\ncells = [6, 6]\n[[outlet]]\nside = \"left\"\ncells = [2, 4]\n"
         "[[solid]]\nrectangle = { from = [0, 2], to = [0, 2] }\n", "an opening leads into a solid cell"},
        {"[grid]\ncells = [6, 6]\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\nspeed = 1.0\n[[outlet]]\nside = \"left\"\n"
         "cells = [0, 5]\n[[solid]]\ndisc = { centre = [2.5, 0.5], radius = 0.4 }\n", "an opening leads into a solid cell"},
        {"[grid]\ncells = [6, 6]\n[[outflow]]\nside = \"bottom\"\ncells = [0, 5]\nspeed = 1.0\n[[outlet]]\nside = \"top\"\n"
         "cells = [0, 5]\n[[solid]]\nrectangle = { from = [5, 5], to = [5, 5] }\n", "an opening leads into a solid cell"},
        // Speed times cells balances, not speed alone: 10 cells at 1 against 5 at 1.
        {"[grid]\ncells = [12, 12]\n[[inflow]]\nside = \"left\"\ncells = [0, 9]\nspeed = 1.0\n"
         "[[outflow]]\nside = \"right\"\ncells = [0, 4]\nspeed = 1.0\n", "without an outlet the bands must balance"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\ndye = [-1.0, 0.0, 0.0]\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n", "dye is [red, green, blue], each from 0 to 1"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\ndye = [0.0, 0.0]\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n", "dye is [red, green, blue], each from 0 to 1"},
        {"[grid]\ncells = [4, 4]\n[tracers]\ncount = 100001\n", "[tracers] count must lie between 0 and 100000"},
        {"[grid]\ncells = [4, 4]\n[tracers]\ncount = -1\n", "test.toml:4:9: [tracers] count must be a whole number of 0 or more"},
        {"[grid]\ncells = [4, 4]\n[tracers]\ncount = 5000000000\n", "test.toml:4:9: [tracers] count is too large"},
        {"[grid]\ncells = [4, 4]\n[tracers]\ncount = 2.5\n", "test.toml:4:9: [tracers] count must be a whole number"},
        // Values judged by the scene keep their place in the file.
        {"[grid]\ncells = [4, 4]\n[tracers]\ncount = 100001\n", "test.toml:4:9: [tracers] count must lie between"},
        {"[grid]\ncells = [4, 4]\n[fluid]\ndensity = -1.0\n", "test.toml:4:11: [fluid] density must be positive"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\n[[outflow]]\nside = \"right\"\n"
         "cells = [0, 3]\nspeed = -1.0\n", "test.toml:10:9: an [[outflow]] band's speed must be 0 or positive"},
        {"[grid]\ncells = [6, 6]\n[[solid]]\nrectangle = { from = [0, 0], to = [1, 1] }\n[[solid]]\n"
         "disc = { centre = [3.0, 3.0], radius = -2.0 }\n", "test.toml:6:40: a disc's radius must be positive"},
        {"[grid]\ncells = [6, 6]\n[[solid]]\ndisc = { centre = [3.0, 3.0], radius = 1.0 }\n[[solid]]\n"
         "rectangle = { from = [0, 0], to = [9, 1] }\n", "test.toml:6:35: a rectangle must lie inside the grid"},
        {"[grid]\ncells = [6, 6]\n[[solid]]\ndisc = { centre = [3.0, 3.0], radius = 1.0, surface = \"round\" }\n",
         "test.toml:4:55: a disc's surface must be \"cells\" or \"cut\""},
        {"[grid]\ncells = [6, 6]\n[[solid]]\ndisc = { centre = [3.0, 3.0], radius = 1.0, surface = true }\n",
         "test.toml:4:55: a disc's surface must be \"cells\" or \"cut\""},
        {"[grid]\ncells = [4, 4]\n[interaction]\nradius = 1000.5\n", "[interaction] radius must lie above 0"},
        {"[grid]\ncells = [4, 4]\n[interaction]\nstrength = -0.5\n", "[interaction] strength must lie between 0 and 100"},
        {"[grid]\ncells = [4, 4]\n[interaction]\nstrength = 100.5\n", "[interaction] strength must lie between 0 and 100"},
        {"[grid]\ncells = [4, 4]\n[solver]\ntolerance = 1.0\n", "[solver] tolerance must lie between 0 and 1"},
        {"[grid]\ncells = [4, 4]\n[solver]\niteration_limit = 1000001\n", "iteration_limit must lie between 1"},
        {"[grid]\ncells = [4, 4]\n[advection]\nscheme = \"MacCormack\"\n", "[advection] scheme must be"},
        {"[grid]\ncells = [4, 4]\n[solver]\npreconditioner = \"amg\"\n",
         "test.toml:4:18: [solver] preconditioner must be \"incomplete-cholesky\" or \"multigrid\""},
        {"[grid]\ncells = [4, 4]\n[solver]\npressure_start = \"last\"\n",
         "test.toml:4:18: [solver] pressure_start must be \"previous\" or \"zero\""},
        {"[grid]\ncells = [4, 4]\n[solver]\npressure_start = 0\n", "[solver] pressure_start must be"},
        {"[grid]\ncells = [4, 4]\n[solver]\nviscosity_start = \"velocity\"\n",
         "test.toml:4:19: [solver] viscosity_start must be \"previous\" or \"zero\""},
        {"[grid]\ncells = [4, 4]\n[[outflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = -1.0\n[[outlet]]\n"
         "side = \"right\"\ncells = [0, 3]\n", "speed must be 0 or positive"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\nprofile = \"round\"\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n",
         "test.toml:7:11: an [[inflow]] band's profile must be \"uniform\" or \"parabolic\""},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [2, 2]\nspeed = 1.0\nprofile = \"parabolic\"\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n",
         "test.toml:7:11: a parabolic band needs two cells at least"},
        // A parabolic band carries 2/3 of what a uniform one of its speed and width does.
        {"[grid]\ncells = [12, 12]\n[[inflow]]\nside = \"left\"\ncells = [0, 9]\nspeed = 1.0\nprofile = \"parabolic\"\n"
         "[[outflow]]\nside = \"right\"\ncells = [0, 9]\nspeed = 1.0\n", "without an outlet the bands must balance"},
        {"[grid]\ncells = [4, 4]\n[fluid]\ndensity = 0.0\n", "[fluid] density must be positive"},
        {"[grid]\ncells = [4, 4]\n[fluid]\nviscosity = -0.1\n", "[fluid] viscosity must be 0 or positive"},
        {"[grid]\ncells = [4, 4]\n[walls]\nleft = { slide = 1.0, speed = 2.0 }\n", "unknown key \"speed\" in the left wall"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\ndisc = { centre = [1.0, 1.0], radius = 0.0 }\n", "a disc's radius must be positive"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\nrectangle = { from = [2, 2], to = [1, 3] }\n", "from its smaller corner"},
        // Liquid: where it starts, and what a scene with liquid cannot have yet.
        {"[grid]\ncells = [8, 8]\n[[liquid]]\nrectangle = { from = [0.0, 4.0], to = [9.0, 8.0] }\n",
         "test.toml:3:1: liquid must lie inside the grid, 0 to 8 across and 0 to 8 down"},
        {"[grid]\ncells = [8, 8]\n[[liquid]]\nrectangle = { from = [2.0, 4.0], to = [1.0, 8.0] }\n",
         "test.toml:4:13: a liquid rectangle goes from its smaller corner to its larger one"},
        {"[grid]\ncells = [8, 8]\n[[liquid]]\ndisc = { centre = [4.0, 4.0], radius = 0.0 }\n",
         "test.toml:4:8: a liquid disc's radius must be positive"},
        {"[grid]\ncells = [8, 8]\n[[liquid]]\ndisc = { centre = [4.0, 4.0], radius = 1.0 }\nrectangle = { from = "
         "[0.0, 0.0], to = [1.0, 1.0] }\n", "a [[liquid]] is either a disc or a rectangle"},
        {"[grid]\ncells = [8, 8]\n[[liquid]]\ndisc = { centre = [4.0, 4.0], radius = 1.0 }\nvelocity = [1.0]\n",
         "test.toml:5:12: a liquid's velocity"},
        {"[grid]\ncells = [8, 8]\n[[solid]]\nrectangle = { from = [0, 4], to = [7, 7] }\n[[liquid]]\n"
         "rectangle = { from = [1.0, 5.0], to = [6.0, 7.5] }\n",
         "test.toml:5:1: liquid lies inside a solid, or is too small for a particle of the grid"},
        {"[grid]\ncells = [8, 8]\n[[liquid]]\nrectangle = { from = [1.0, 5.0], to = [1.1, 5.1] }\n",
         "liquid lies inside a solid, or is too small for a particle of the grid"},
        {"[grid]\ncells = [4096, 4096]\n[[liquid]]\nrectangle = { from = [0.0, 2000.0], to = [4096.0, 4096.0] }\n",
         "the liquid takes 34340864 particles, more than the 4194304 a scene may hold"},
        // Taps: an inflow band in a liquid scene pours liquid, only liquid,
        // into a box that lets it out, on a wall that is there.
        {"[grid]\ncells = [8, 8]\n[[liquid]]\nrectangle = { from = [0.0, 4.0], to = [8.0, 8.0] }\n[[inflow]]\n"
         "side = \"top\"\ncells = [1, 2]\nspeed = 1.0\n[[outlet]]\nside = \"right\"\ncells = [6, 7]\n",
         "test.toml:5:1: in a scene with liquid an inflow band pours liquid: say liquid = true"},
        {"[grid]\ncells = [8, 8]\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\nspeed = 1.0\nliquid = \"yes\"\n",
         "test.toml:7:10: an [[inflow]] band's liquid is true (the band pours liquid: a tap) or false"},
        {"[grid]\ncells = [8, 8]\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\nspeed = 1.0\nliquid = true\n"
         "dye = [1.0, 0.0, 0.0]\n[[outlet]]\nside = \"right\"\ncells = [6, 7]\n", "test.toml:8:7: a tap pours liquid, not dye"},
        {"[grid]\ncells = [8, 8]\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\nspeed = 1.0\nliquid = true\n",
         "test.toml: the taps pour 2 (speed times cells) into a box that lets out 0: it would fill up"},
        {"[grid]\ncells = [8, 8]\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\nspeed = 1.0\nliquid = true\n"
         "[[outflow]]\nside = \"bottom\"\ncells = [5, 5]\nspeed = 1.0\n", "into a box that lets out 1: it would fill up"},
        {"[grid]\ncells = [8, 8]\n[[inflow]]\nside = \"top\"\ncells = [7, 8]\nspeed = 1.0\nliquid = true\n"
         "[[outlet]]\nside = \"right\"\ncells = [6, 7]\n", "cells 7 to 8 do not lie along the top side, which has 8 cells"},
        {"[grid]\ncells = [8, 8]\n[walls]\ntop = { slide = 1.0 }\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\n"
         "speed = 1.0\nliquid = true\n[[outlet]]\nside = \"right\"\ncells = [6, 7]\n", "an opening on the top wall, which slides"},
        {"[grid]\ncells = [8, 8]\n[[solid]]\nrectangle = { from = [0, 0], to = [3, 1] }\n[[inflow]]\nside = \"top\"\n"
         "cells = [1, 2]\nspeed = 1.0\nliquid = true\n[[outlet]]\nside = \"right\"\ncells = [6, 7]\n",
         "an opening leads into a solid cell (cells 1 to 2 of the top side)"},
        {"[grid]\ncells = [8, 8]\n[fluid]\nviscosity = 1000.0\n[[liquid]]\nrectangle = { from = [0.0, 4.0], to = [8.0, 8.0] }\n",
         "test.toml:4:13: a liquid's viscosity may be at most 10 cell sizes squared a step (200 here)"},
        {"[grid]\ncells = [8, 8]\n[heat]\n[[liquid]]\nrectangle = { from = [0.0, 4.0], to = [8.0, 8.0] }\n",
         "test.toml:3:1: a scene with liquid carries no heat yet"},
        // Heat: its table, its walls, and temperatures that only a scene with heat takes.
        {"[grid]\ncells = [4, 4]\n[heat]\ndiffusivity = -0.1\n", "test.toml:4:15: [heat] diffusivity must be 0 or positive"},
        {"[grid]\ncells = [4, 4]\n[heat]\nexpansoin = 1.0\n",
         "test.toml:4:1: unknown key \"expansoin\" in [heat] (the nearest known one is \"expansion\")"},
        {"[grid]\ncells = [4, 4]\n[heat]\ninitial = \"warm\"\n", "test.toml:4:11: [heat] initial must be a number"},
        {"heat = 1.0\n[grid]\ncells = [4, 4]\n", "test.toml:1:8: [heat] must be a table"},
        {"[grid]\ncells = [4, 4]\n[heat.walls]\nfloor = 1.0\n",
         "test.toml:4:1: unknown key \"floor\" in [heat.walls] (the nearest known one is"},
        {"[grid]\ncells = [4, 4]\n[heat.walls]\nleft = nan\n", "test.toml:4:8: [heat.walls] left must be finite"},
        {"[grid]\ncells = [4, 4]\n[heat]\nwalls = [1.0, 0.0]\n", "test.toml:4:9: [heat.walls] must be a table"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\ndisc = { centre = [1.0, 1.0], radius = 1.0 }\ntemperature = 1.0\n",
         "test.toml:5:15: a temperature needs a [heat] table"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\ntemperature = 2.0\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n", "test.toml:7:15: a temperature needs a [heat] table"},
        {"[grid]\ncells = [4, 4]\n[heat]\n[[solid]]\nrectangle = { from = [1, 1], to = [2, 2] }\ntemperature = \"hot\"\n",
         "test.toml:6:15: a solid's temperature must be a number"},
        // A view's fixed ranges: by field, rising, finite.
        {"[grid]\ncells = [4, 4]\n[view.range]\ncurl = [0.0, 1.0]\n",
         "test.toml:4:1: unknown key \"curl\" in [view.range]"},
        {"[grid]\ncells = [4, 4]\n[view.range]\nspeed = [2.0, 1.0]\n",
         "test.toml:4:9: [view.range] speed must rise: its low end below its high"},
        {"[grid]\ncells = [4, 4]\n[view.range]\npressure = [1.0, 1.0]\n", "[view.range] pressure must rise"},
        {"[grid]\ncells = [4, 4]\n[view.range]\nvorticity = [-inf, 1.0]\n",
         "test.toml:4:14: [view.range] vorticity must be finite"},
        {"[grid]\ncells = [4, 4]\n[view.range]\ndye = 1.0\n", "test.toml:4:7: [view.range] dye must be an array of two"},
        {"[grid]\ncells = [4, 4]\n[view]\nrange = 1.0\n", "test.toml:4:9: [view.range] must be a table"},
        {"[grid]\ncells = [4, 4]\n[view]\nranges = {}\n", "unknown key \"ranges\" in [view]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Scene scene;
        std::string error;
        EXPECT_FALSE(parseScene(c.text, "test.toml", scene, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(error.rfind("test.toml", 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

// A changed value reaches only what the file holds: a path to an array's
// element past its end, into a value that is not a table or malformed is
// refused with one line that names it; one that is there changes the scene
// as the same file with that value would.
TEST(SceneFile, ChangedValuesReachOnlyWhatTheFileHolds)
{
    Scene tap;
    std::string error;
    ASSERT_TRUE(loadSceneFile(FLOWBOX_SCENES "/tap.toml", tap, error)) << error;
    ASSERT_EQ(tap.inflows.size(), 1u);
    const SceneValue two{SceneValue::Kind::number, 2.0, 0, false, {}, {}};
    const struct {
        const char* path;
        const char* says;
    } refused[] = {
        {"inflow[1].speed", "\"inflow[1].speed\": the file has no inflow[1]"},
        {"inflow[7].speed", "\"inflow[7].speed\": the file has no inflow[7]"},
        {"outflow[0].speed", "\"outflow[0].speed\": the file has no outflow[0]"},
        {"grid.cells[2]", "\"grid.cells[2]\": the file has no cells[2]"},
        {"inflow[0].speed.x", "\"inflow[0].speed.x\": speed is not a table"},
        {"grid.cells[0].x", "\"grid.cells[0].x\": cells[0] is not a table"},
        {"inflow[].speed", "\"inflow[].speed\" is not a key's path (as fluid.viscosity or inflow[0].speed)"},
        {"inflow[-1].speed", "\"inflow[-1].speed\" is not a key's path (as fluid.viscosity or inflow[0].speed)"},
        {".speed", "\".speed\" is not a key's path (as fluid.viscosity or inflow[0].speed)"},
    };
    Scene changed = tap;
    for (const auto& c : refused) {
        SCOPED_TRACE(c.path);
        error.clear();
        EXPECT_FALSE(sceneWithValues(tap, {{c.path, two}}, changed, error));
        EXPECT_EQ(error, FLOWBOX_SCENES "/tap.toml: " + std::string(c.says));
    }
    // Where the path is there, the value is read as the file's own would be.
    EXPECT_FALSE(sceneWithValues(tap, {{"outlet[0].side", two}}, changed, error));
    EXPECT_EQ(error.rfind(FLOWBOX_SCENES "/tap.toml (with values changed):", 0), 0u) << error;
    EXPECT_NE(error.find(": side must be \"left\", \"right\", \"top\" or \"bottom\""), std::string::npos) << error;
    ASSERT_TRUE(sceneWithValues(tap, {{"inflow[0].speed", two}}, changed, error)) << error;
    EXPECT_EQ(changed.inflows[0].speed, 2.0);
    EXPECT_EQ(changed.inflows[0].range.side, tap.inflows[0].range.side);
}

TEST(SceneFile, DefaultsAreTheStandardBoxsWithoutItsBandsAndSolvedByMultigrid)
{
    const Scene scene = sceneFrom("[grid]\ncells = [7, 5]\n");
    const Scene standard = Scene::standard();
    EXPECT_EQ(scene.nx, 7u);
    EXPECT_EQ(scene.ny, 5u);
    EXPECT_EQ(scene.cellSize, standard.cellSize);
    EXPECT_EQ(scene.density, standard.density);
    EXPECT_EQ(scene.gravityY, standard.gravityY);
    EXPECT_EQ(scene.timeStep, standard.timeStep);
    EXPECT_EQ(scene.tolerance, standard.tolerance);
    EXPECT_EQ(scene.iterationLimit, standard.iterationLimit);
    EXPECT_EQ(scene.tracerCount, standard.tracerCount);
    EXPECT_TRUE(scene.inflows.empty() && scene.outflows.empty() && scene.outlets.empty());
    EXPECT_EQ(scene.top.kind, Wall::Kind::slip);
    EXPECT_EQ(scene.preconditioner, pcg::Preconditioner::multigrid);
    EXPECT_EQ(standard.preconditioner, pcg::Preconditioner::incompleteCholesky);
    EXPECT_EQ(sceneFrom("[grid]\ncells = [7, 5]\n[solver]\npreconditioner = \"incomplete-cholesky\"\n").preconditioner,
              pcg::Preconditioner::incompleteCholesky);
    EXPECT_TRUE(scene.pressureFromPrevious);
    EXPECT_FALSE(standard.pressureFromPrevious);
    EXPECT_FALSE(sceneFrom("[grid]\ncells = [7, 5]\n[solver]\npressure_start = \"zero\"\n").pressureFromPrevious);
    EXPECT_TRUE(scene.viscosityFromPrevious);
    EXPECT_FALSE(standard.viscosityFromPrevious);
    EXPECT_FALSE(sceneFrom("[grid]\ncells = [7, 5]\n[solver]\nviscosity_start = \"zero\"\n").viscosityFromPrevious);
}

// A liquid entry's area within a rectangle, exactly: a disc cut by the
// rectangle's sides into halves, quarters, a cap and a band, and whole; a
// rectangle's overlap.
TEST(LiquidEntry, ItsAreaWithinARectangleIsExact)
{
    const double pi = std::acos(-1.0);
    LiquidRegion disc;
    disc.disc = true;
    disc.centreX = 0.3, disc.centreY = -0.2, disc.radius = 0.5;
    const double r = 0.5, whole = pi * r * r;
    // The cap beyond a chord d from the centre.
    auto cap = [&](double d) { return r * r * std::acos(d / r) - d * std::sqrt(r * r - d * d); };
    const struct {
        const char* name;
        double x0, y0, x1, y1, area;
    } cases[] = {
        {"whole", -1.0, -1.0, 2.0, 2.0, whole},
        {"the right half", 0.3, -5.0, 5.0, 5.0, 0.5 * whole},
        {"a quarter", 0.3, -0.2, 1.0, 1.0, 0.25 * whole},
        {"a cap", 0.6, -1.0, 1.0, 1.0, cap(0.3)},
        {"a band across", -1.0, -0.3, 2.0, 0.0, whole - cap(0.1) - cap(0.2)},
        {"beyond it", 0.81, -1.0, 2.0, 1.0, 0.0},
        {"a small square inside", 0.2, -0.3, 0.4, -0.1, 0.04},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(disc.areaWithin(c.x0, c.y0, c.x1, c.y1), c.area, 1e-13);
    }
    // Whole cells across the disc sum to it.
    double sum = 0.0;
    for (int a = 0; a < 37; ++a)
        for (int b = 0; b < 37; ++b)
            sum += disc.areaWithin(-0.25 + a / 32.0, -0.75 + b / 32.0, -0.25 + (a + 1) / 32.0, -0.75 + (b + 1) / 32.0);
    EXPECT_NEAR(sum, whole, 1e-13);
    LiquidRegion rectangle;
    rectangle.fromX = 0.1, rectangle.toX = 0.4, rectangle.fromY = 0.2, rectangle.toY = 0.9;
    EXPECT_NEAR(rectangle.areaWithin(0.3, 0.0, 1.0, 0.5), 0.1 * 0.3, 1e-15);
    EXPECT_EQ(rectangle.areaWithin(0.5, 0.0, 1.0, 0.5), 0.0);
}

}  // namespace
