// flowbox-record-drag: the README's demonstration of a window that can be
// touched. Opens the window on a scene, lets it run, then drags the pointer
// through the flow as a hand would (synthetic mouse events), and saves what
// the view shows every few ticks:
//
//   flowbox-record-drag SCENE FOLDER [--ticks N] [--every K]
//
// scripts/record-drag runs it on a private display and makes the GIF.

#include "app/main_window.h"
#include "sim/flow/fluid_solver.h"
#include "sim/scene/scene_catalog.h"
#include "view/flow_view.h"
#include "view/frame.h"
#include "view/opengl_support.h"

#include <QApplication>
#include <QDir>
#include <QSurfaceFormat>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char* argv[])
{
    QSurfaceFormat::setDefaultFormat(compatibilityFormat());
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: flowbox-record-drag SCENE FOLDER [--ticks N] [--every K]\n");
        return 2;
    }
    int ticks = 400, every = 4;
    for (int k = 3; k + 1 < argc; k += 2) {
        if (std::strcmp(argv[k], "--ticks") == 0)
            ticks = std::atoi(argv[k + 1]);
        else if (std::strcmp(argv[k], "--every") == 0)
            every = std::atoi(argv[k + 1]);
    }
    Scene scene;
    std::string error;
    if (!sceneFromArgument(argv[1], scene, error)) {
        std::fprintf(stderr, "flowbox-record-drag: %s\n", error.c_str());
        return 2;
    }
    const QDir folder(argv[2]);
    if (!QDir().mkpath(folder.path()) || ticks < 1 || every < 1)
        return 2;

    MainWindow window(scene);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    window.setPaused(true);
    FlowView& view = window.flowView();
    const FluidSolver& solver = window.simulation();
    auto pixelOf = [&](double x, double y) {  // x, y in cells
        const double size = pictureCellSize(solver, uint32_t(view.width()), uint32_t(view.height()));
        return QPoint(int(x * size), int(y * size));
    };
    // The first half runs by itself; then a drag sweeps down and up behind
    // the disc, a quarter of a cell a tick, for a quarter of the run.
    const int dragFrom = ticks / 2, dragTo = ticks / 2 + ticks / 4;
    for (int tick = 1; tick <= ticks; ++tick) {
        if (tick >= dragFrom && tick <= dragTo) {
            const double phase = double(tick - dragFrom) / (dragTo - dragFrom);
            const QPoint at = pixelOf(0.4 * solver.nx, solver.ny * (0.5 + 0.35 * std::sin(2 * std::acos(-1.0) * phase)));
            if (tick == dragFrom)
                QTest::mousePress(&view, Qt::LeftButton, {}, at);
            else if (tick == dragTo)
                QTest::mouseRelease(&view, Qt::LeftButton, {}, at);
            else
                QTest::mouseMove(&view, at);
        }
        QMetaObject::invokeMethod(&window, "advance");
        if (tick % every != 0)
            continue;
        const QPoint corner = pixelOf(solver.nx, solver.ny);  // the grid's, without the black beyond
        const QImage frame = view.grabFramebuffer().copy(0, 0, corner.x(), corner.y());
        if (!frame.save(folder.filePath(QString("frame-%1.png").arg(tick, 6, 10, QChar('0')))))
            return 1;
    }
    return 0;
}
