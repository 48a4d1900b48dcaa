#include "app/main_window.h"
#include "app/startup.h"
#include "process/heap_tuning.h"
#include "sim/scene/scene_catalog.h"
#include "sim/saved/state_file.h"
#include "process/utf8_locale.h"
#include "view/opengl_support.h"
#include "sim/tracers/tracers.h"

#include <QApplication>
#include <QSurfaceFormat>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr int badArgumentsStatus = 2;

[[noreturn]] void failArguments(const std::string& message)
{
    std::fprintf(stderr, "flowbox: %s\n", message.c_str());
    std::exit(badArgumentsStatus);
}

// The window's own options, read before Qt takes its share of the arguments:
// --scene FILE|NAME, --resume FILE, --help, --version. Anything else is left
// to Qt. The scene to run, and the saved run to go on from, if any.
SavedRun runFromArguments(int argc, char* argv[], std::string& stateArgument)
{
    SavedRun run;
    run.scene = Scene::standard();
    std::string sceneArgument;
    for (int k = 1; k < argc; ++k) {
        const char* argument = argv[k];
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            std::printf("Usage: flowbox [--scene FILE|NAME | --resume FILE]\n"
                        "An interactive two-dimensional incompressible fluid simulation.\n\n"
                        "  --scene FILE|NAME  run the scene in FILE, or the shipped scene NAME\n"
                        "                     (cavity, cylinder, step, standard), instead of the standard box\n"
                        "  --resume FILE      go on from a run saved in FILE (Ctrl+S in a scene's window,\n"
                        "                     or flowbox-headless --save)\n"
                        "  -h, --help         show this help\n"
                        "  --version          show the version\n");
            std::exit(0);
        }
        if (std::strcmp(argument, "--version") == 0) {
            std::printf("flowbox 0.1.0\n");
            std::exit(0);
        }
        for (auto [option, value] : {std::pair<const char*, std::string*>{"--scene", &sceneArgument},
                                     std::pair<const char*, std::string*>{"--resume", &stateArgument}}) {
            const size_t length = std::strlen(option);
            if (std::strcmp(argument, option) == 0) {
                if (k + 1 >= argc)
                    failArguments(std::string(option) + (value == &sceneArgument
                                                             ? " needs a scene file or the name of a shipped scene"
                                                             : " needs a saved state file"));
                *value = argv[++k];
            } else if (std::strncmp(argument, option, length) == 0 && argument[length] == '=') {
                *value = argument + length + 1;
            }
        }
    }
    if (!sceneArgument.empty() && !stateArgument.empty())
        failArguments("--resume runs the scene saved with the state; leave out --scene");
    std::string problem;
    if (!stateArgument.empty() && !loadStateFile(stateArgument, Trail::capacity, run, problem))
        failArguments(problem);
    if (!sceneArgument.empty() && !sceneFromArgument(sceneArgument, run.scene, problem))
        failArguments(problem);
    return run;
}

}  // namespace


int main(int argc, char* argv[])
{
    keepFreedHeapForReuse();
    useUtf8CharacterType();
    sendSolverWarningsToQt();
    std::string statePath;  // of the run to go on from, if any
    const SavedRun run = runFromArguments(argc, argv, statePath);
    QSurfaceFormat::setDefaultFormat(compatibilityFormat());
    StartupGuard guard;  // until the window can be shown
    QApplication application(argc, argv);
    const QString platform = QApplication::platformName();
    if (!openGLAvailable())
        StartupGuard::fail(QString("OpenGL is not available on the \"%1\" platform").arg(platform));
    // A platform with OpenGL may still be unable to draw it into widgets, and
    // showing one there would crash.
    if (!openGLWidgetsSupported())
        StartupGuard::fail(QString("the \"%1\" platform cannot show OpenGL widgets").arg(platform));
    guard.release();

    MainWindow window(run.scene, nullptr);
    std::string problem;
    if (!statePath.empty() && !window.resume(run, problem))
        failArguments(statePath + ": does not fit its scene: " + problem);
    window.show();
    return application.exec();
}
