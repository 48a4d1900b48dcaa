#include "view/opengl_support.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformintegration.h>

QSurfaceFormat compatibilityFormat()
{
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    return format;
}

namespace {

void discardMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

bool openGLAvailable()
{
    // The platform's own complaints would only repeat, at length, what the caller reports.
    const QtMessageHandler previous = qInstallMessageHandler(discardMessage);
    struct Restore {
        QtMessageHandler handler;
        ~Restore() { qInstallMessageHandler(handler); }
    } restore{previous};

    QOpenGLContext context;
    if (!context.create())
        return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface))
        return false;
    context.doneCurrent();
    return true;
}

bool openGLWidgetsSupported()
{
    // The capability QOpenGLWidget itself asks for; without it showing one crashes.
    const QPlatformIntegration* platform = QGuiApplicationPrivate::platformIntegration();
    return platform && platform->hasCapability(QPlatformIntegration::RhiBasedRendering);
}
