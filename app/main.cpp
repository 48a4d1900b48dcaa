#include "app/main_window.h"
#include "sim/heap_tuning.h"
#include "view/opengl_support.h"

#include <QApplication>
#include <QSurfaceFormat>

#include <cstdio>

namespace {

// Without a display the platform plugin aborts the process; say so plainly instead.
bool displayExpected()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char* argv[])
{
    keepFreedHeapForReuse();
    if (!displayExpected()) {
        std::fputs("flowbox: no display available (DISPLAY is not set)\n", stderr);
        return 1;
    }
    QSurfaceFormat::setDefaultFormat(compatibilityFormat());
    QApplication application(argc, argv);
    if (!openGLAvailable()) {
        std::fputs("flowbox: OpenGL is not available\n", stderr);
        return 1;
    }
    MainWindow window(nullptr);
    window.show();
    return application.exec();
}
