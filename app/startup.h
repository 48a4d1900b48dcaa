#pragma once
// The window program's start-up: every way it can fail to reach a display, a
// platform or OpenGL ends with one line on stderr that names the cause, and
// status 1 - never Qt's abort, a crash or a core dump.

#include <QString>
#include <QStringList>

// Qt's message handler while it lives: keeps Qt's start-up messages to itself
// and turns a fatal one (a platform that cannot start) into one line naming
// the cause, and status 1. The handler before it comes back when it goes.
class StartupGuard {
public:
    StartupGuard();
    ~StartupGuard();
    StartupGuard(const StartupGuard&) = delete;
    StartupGuard& operator=(const StartupGuard&) = delete;

    // Gives Qt's messages back to the handler before; the destructor does the same.
    void release();

    // Writes "flowbox: <cause>" and ends the process with status 1.
    [[noreturn]] static void fail(const QString& cause);
};

// Sends the solver's warning line through Qt's messages (as debug), where the
// guard above and any handler a test installs hear it, instead of straight
// to standard error.
void sendSolverWarningsToQt();

// The cause of a platform that could not start, from Qt's messages before the
// fatal one and the fatal one itself; display is $DISPLAY (null when unset).
QString platformFailure(const QStringList& messages, const QString& fatal, const QByteArray& display);
