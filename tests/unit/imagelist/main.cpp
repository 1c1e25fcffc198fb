// Test entry: an offscreen application, so the drawing surface is a real
// widget and canvases paint with the program's Qt.
#include "render/DIB.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    RegisterRenderPictureClasses();
    return RUN_ALL_TESTS();
}
