#pragma once

class QSurfaceFormat;

// Fixed-function drawing needs a compatibility context; set this as the default
// format before the application object is created.
QSurfaceFormat compatibilityFormat();

// Whether an OpenGL context can be created and made current. Without this
// check a GL widget on a platform with no usable OpenGL takes the process down.
bool openGLAvailable();

// Whether the platform can draw OpenGL widgets into a window (some that have
// OpenGL, such as offscreen, cannot). Needs the application object.
bool openGLWidgetsSupported();
