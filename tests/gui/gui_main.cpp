// Entry point of every GUI test program: a real QApplication on the X display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSurfaceFormat>

#include "view/gl_format.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QSurfaceFormat::setDefaultFormat(warpkit::preview_surface_format());
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
