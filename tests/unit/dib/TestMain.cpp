// Runs the tests inside an offscreen application: the clipboard and
// painting need one.
#include "render/DIB.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    RegisterRenderPictureClasses();
    return RUN_ALL_TESTS();
}
