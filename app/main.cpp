#include "app/main_window.h"
#include "app/startup.h"
#include "sim/heap_tuning.h"
#include "sim/scene_catalog.h"
#include "sim/utf8_locale.h"
#include "view/opengl_support.h"

#include <QApplication>
#include <QSurfaceFormat>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int badArgumentsStatus = 2;

[[noreturn]] void failArguments(const std::string& message)
{
    std::fprintf(stderr, "flowbox: %s\n", message.c_str());
    std::exit(badArgumentsStatus);
}

// The window's own options, read before Qt takes its share of the arguments:
// --scene FILE|NAME, --help, --version. Anything else is left to Qt.
Scene sceneFromArguments(int argc, char* argv[])
{
    Scene scene = Scene::standard();
    for (int k = 1; k < argc; ++k) {
        const char* argument = argv[k];
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            std::printf("Usage: flowbox [--scene FILE|NAME]\n"
                        "An interactive two-dimensional incompressible fluid simulation.\n\n"
                        "  --scene FILE|NAME  run the scene in FILE, or the shipped scene NAME\n"
                        "                     (cavity, cylinder, step, standard), instead of the standard box\n"
                        "  -h, --help         show this help\n"
                        "  --version          show the version\n");
            std::exit(0);
        }
        if (std::strcmp(argument, "--version") == 0) {
            std::printf("flowbox 0.1.0\n");
            std::exit(0);
        }
        std::string value;
        if (std::strcmp(argument, "--scene") == 0) {
            if (k + 1 >= argc)
                failArguments("--scene needs a scene file or the name of a shipped scene");
            value = argv[++k];
        } else if (std::strncmp(argument, "--scene=", 8) == 0) {
            value = argument + 8;
        } else {
            continue;
        }
        std::string problem;
        if (!sceneFromArgument(value, scene, problem))
            failArguments(problem);
    }
    return scene;
}

}  // namespace


int main(int argc, char* argv[])
{
    keepFreedHeapForReuse();
    useUtf8CharacterType();
    const Scene scene = sceneFromArguments(argc, argv);
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

    MainWindow window(scene, nullptr);
    window.show();
    return application.exec();
}
