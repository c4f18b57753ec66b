// The flow tests share one viewer per process; it is shut down as the
// program does it (Quit, join, GL teardown) once every test has run.
#include <gtest/gtest.h>

#include <system_error>

#include "flow_support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (flow::gViewerStarted) {
        GifWall* wall = StartTestViewer();
        SetTitleObserverForTest(nullptr);
        Shutdown(wall);
        if (wall->loaderThread != nullptr || wall->mainRC != nullptr) {
            std::fprintf(stderr, "shutdown left the loader or the GL contexts behind\n");
            return 1;
        }
        gWall = nullptr;
        delete wall;
        ShutdownPlatform();
    }
    // The folders of generated files (FreshFolder's parent).
    std::error_code error;
    std::filesystem::remove_all(FreshFolder("done").parent_path(), error);
    return result;
}
