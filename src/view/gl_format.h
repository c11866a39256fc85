#pragma once
#include <QSurfaceFormat>

namespace warpkit {

// RGBA 8 bits each, depth 32 asked (the driver gives what it has), double buffer,
// compatibility profile for the fixed-function pipeline. Set before any widget exists.
inline QSurfaceFormat preview_surface_format() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(1, 1);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(32);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

}  // namespace warpkit
