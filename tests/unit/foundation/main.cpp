// Test entry: a real application object (offscreen) so that the timer and
// the error reports see the same environment as the program.
#include "toolkit/Application.h"
#include "toolkit/MessageBox.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TApplication application(argc, argv);
    application.SetTitle("Install");
    SetMessageBoxRecording(true);
    return RUN_ALL_TESTS();
}
