// Window tests share one application object, on the display that with-xvfb provides.
#include "view/opengl_support.h"

#include <QApplication>
#include <QSurfaceFormat>

#include <gtest/gtest.h>

#include <cstdio>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

int main(int argc, char* argv[])
{
    ::testing::InitGoogleTest(&argc, argv);
    QSurfaceFormat::setDefaultFormat(compatibilityFormat());
    QApplication application(argc, argv);
    if (!openGLAvailable()) {
        std::fputs("window tests: no OpenGL on this display\n", stderr);
        return 1;
    }
    const int result = RUN_ALL_TESTS();
#ifdef __SANITIZE_ADDRESS__
    // Look for leaks while the GL driver is still loaded: once it is unloaded at
    // exit its allocations can no longer be told apart from ours by module.
    __lsan_do_leak_check();
#endif
    return result;
}
