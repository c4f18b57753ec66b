// One application object for all the tests of a binary, as in the program.
#include "platform/platform.h"
#include "platform/test_hooks.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    InitPlatform(&argc, argv);
    const int result = RUN_ALL_TESTS();
    ShutdownPlatform();
    return result;
}
