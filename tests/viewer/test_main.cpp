// One viewer per test process: the tests start it on first use; after the
// last test it is shut down the way the program ends.
#include <gtest/gtest.h>

#include <cstdio>

#include "viewer_gl_util.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (ViewerStarted()) {
        GifWall* wall = Viewer();
        SetClockForTest(nullptr);
        SetSleepForTest(nullptr);
        ResetQuitForTest();
        Shutdown(wall);
        gWall = nullptr;
        delete wall;
        ShutdownPlatform();
    }
    return result;
}
