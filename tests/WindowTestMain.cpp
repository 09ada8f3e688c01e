// Test main for tests that show windows: the X server of DISPLAY, set up as the
// output sets it up; without a display the offscreen platform serves and such
// tests skip.
#include "output/RenderWindow.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY");
    qputenv("QT_QPA_PLATFORM", display ? "xcb" : "offscreen");
    CWindowTarget::KeepDriverLoaded();
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
