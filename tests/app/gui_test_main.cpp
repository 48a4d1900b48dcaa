// Window tests share one application object, on the display that with-xvfb provides.
#include "view/opengl_support.h"

#include <QApplication>
#include <QSurfaceFormat>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char* argv[])
{
    ::testing::InitGoogleTest(&argc, argv);
    QSurfaceFormat::setDefaultFormat(compatibilityFormat());
    QApplication application(argc, argv);
    if (!openGLAvailable()) {
        std::fputs("window tests: no OpenGL on this display\n", stderr);
        return 1;
    }
    return RUN_ALL_TESTS();
}
