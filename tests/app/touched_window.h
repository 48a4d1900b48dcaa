#pragma once
// A window given a scene, shown with its timer stopped: ticks come from
// tick(), so that every case is the same on a fast and a busy machine.

#include "app/main_window.h"
#include "sim/flow/fluid_solver.h"
#include "view/flow_view.h"
#include "view/frame.h"

#include <QPoint>
#include <QTest>

#include <gtest/gtest.h>

struct Touched {
    explicit Touched(const Scene& scene) : window(scene)
    {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.setPaused(true);
    }
    void tick(int count = 1)
    {
        for (int k = 0; k < count; ++k)
            QMetaObject::invokeMethod(&window, "advance");
    }
    FlowView& view() { return window.flowView(); }
    const FluidSolver& solver() const { return window.simulation(); }
    // The pixel at the centre of cell (i, j).
    QPoint pixelOf(double i, double j)
    {
        const double size = pictureCellSize(solver(), uint32_t(view().width()), uint32_t(view().height()));
        return (view().pictureOrigin() + QPointF((i + 0.5) * size, (j + 0.5) * size)).toPoint();
    }
    MainWindow window;
};
