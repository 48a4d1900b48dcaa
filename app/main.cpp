#include "app/main_window.h"
#include "app/startup.h"
#include "sim/heap_tuning.h"
#include "sim/utf8_locale.h"
#include "view/opengl_support.h"

#include <QApplication>
#include <QSurfaceFormat>


int main(int argc, char* argv[])
{
    keepFreedHeapForReuse();
    useUtf8CharacterType();
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

    MainWindow window(nullptr);
    window.show();
    return application.exec();
}
