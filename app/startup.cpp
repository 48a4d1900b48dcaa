#include "app/startup.h"

#include "sim/solve/solver_warning.h"

#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>

namespace {

QStringList heardMessages;
QtMessageHandler handlerBefore = nullptr;
bool guarding = false;

void keepStartupMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg)
        StartupGuard::fail(platformFailure(heardMessages, message, qgetenv("DISPLAY")));
    heardMessages.append(message);
}

// The first capture of pattern in any of the messages, or a null string.
QString captured(const QStringList& messages, const QString& pattern)
{
    const QRegularExpression expression(pattern);
    for (const QString& message : messages) {
        const QRegularExpressionMatch match = expression.match(message);
        if (match.hasMatch())
            return match.captured(1);
    }
    return QString();
}

}  // namespace

StartupGuard::StartupGuard()
{
    heardMessages.clear();
    handlerBefore = qInstallMessageHandler(keepStartupMessage);
    guarding = true;
}

StartupGuard::~StartupGuard()
{
    release();
}

void StartupGuard::release()
{
    if (guarding)
        qInstallMessageHandler(handlerBefore);
    guarding = false;
}

void StartupGuard::fail(const QString& cause)
{
    std::fprintf(stderr, "flowbox: %s\n", qPrintable(cause));
    std::fflush(stderr);
    std::_Exit(1);  // no clean-up: Qt is half started
}

QString platformFailure(const QStringList& messages, const QString& fatal, const QByteArray& display)
{
    const QString available = captured({fatal}, "Available platform plugins are: ([^\\n]*[^.\\n])");
    const QString missing = captured(messages, "Could not find the Qt platform plugin \"([^\"]*)\"");
    if (!missing.isNull())
        return QString("there is no Qt platform plugin \"%1\" (available: %2)").arg(missing, available);
    const QString unreachable = captured(messages, "could not connect to display ?(.*)$");
    if (!unreachable.isNull()) {
        if (!unreachable.isEmpty())
            return QString("cannot connect to display \"%1\"").arg(unreachable);
        return display.isNull() ? QString("no display available (DISPLAY is not set)")
                                : QString("cannot connect to display \"%1\"").arg(QString::fromLocal8Bit(display));
    }
    const QString unloadable = captured(messages, "Could not load the Qt platform plugin \"([^\"]*)\"");
    if (!unloadable.isNull())
        return QString("the Qt platform plugin \"%1\" was found but could not be started").arg(unloadable);
    return QString("Qt could not start: %1").arg(fatal.section('\n', 0, 0));
}

void sendSolverWarningsToQt()
{
    setWarningSink([](const char* line) { qDebug("%s", line); });
}
