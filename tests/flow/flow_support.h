// The running viewer for the flow tests, the user's side (folder picker,
// message boxes, text file opener) scripted and every title kept. Each test
// starts with no wall in a 760 x 600 client area, 250px, 停止, by name.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <utility>

#include "viewer_support.h"
#include "wall/loader.h"

namespace flow {

using Heights = std::vector<std::vector<int32_t>>;
const std::string kTitle = "リールスタック";
const std::string kLoadingTitle = "リールスタック (読込中..)";
const std::string kAskEnd = "[Yes/No] メッセージダイアログ: 現在の画像リストの再生を終了しますか？";
const std::string kNothingShown = "[OK] メッセージダイアログ: 表示可能な画像が存在しません。";

// Messages are kept as "[OK] caption: text" or "[Yes/No] caption: text".
struct User {
    std::vector<std::string> titles, messages, textFiles;  // in the order shown
    int32_t answer = kAnswerYes;
    std::string folder;  // what the picker returns
    int pickerCalls = 0;
    void (*insidePicker)() = nullptr;
};
inline User gUser;

// A fresh folder of 250-wide two-frame GIFs a.gif, b.gif, ... of the given
// heights; height 0 makes a file that is no GIF.
inline std::string MakeFolder(const std::string& name, const std::vector<int>& heights) {
    const std::filesystem::path dir = FreshFolder(name);
    for (size_t i = 0; i < heights.size(); ++i) {
        const std::filesystem::path file = dir / (std::string(1, char('a' + i)) + ".gif");
        heights[i] == 0 ? WriteBrokenGif(file) : WriteSolidGif(file, 250, heights[i], 2);
    }
    return dir.string();
}

// Reads fields the loader writes under the wall's lock.
template <class Read>
auto Locked(GifWall* wall, Read read) {
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    return read();
}
inline int32_t NextIndex(GifWall* w) {
    return Locked(w, [w] { return w->fileList.nextIndex; });
}
inline int32_t Mailbox(GifWall* w) {
    return Locked(w, [w] { return w->loaderCommand; });
}

// The heights (or another field) of the images of each column, oldest first.
inline Heights Layout(GifWall* wall, int32_t WallImage::*field = &WallImage::height) {
    return Locked(wall, [&] {
        Heights out(static_cast<size_t>(wall->columnCount));
        for (size_t c = 0; c < out.size(); ++c) {
            for (int32_t slot : wall->columns[c]) out[c].push_back(wall->images.at(slot).*field);
        }
        return out;
    });
}

// Posts AddNext and handles events until the loader took it and the index
// moved on after the load.
inline bool PostAddNext(GifWall* w) {
    const int32_t before = NextIndex(w);
    PostLoaderCommand(w, AddNext);
    return PumpUntil([&] { return Mailbox(w) == NoCommand && NextIndex(w) != before; }, 10000);
}

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        wall_ = StartTestViewer();
        ASSERT_TRUE(wall_ && wall_->loaderThread) << "the viewer or its loader did not start";
        SetMessageBoxForTest(
            [](const std::string& text, const std::string& caption, MessageBoxKind kind) {
                const bool ok = kind == MessageBoxKind::Ok;
                gUser.messages.push_back((ok ? "[OK] " : "[Yes/No] ") + caption + ": " + text);
                return ok ? kAnswerOk : gUser.answer;
            });
        SetFolderPickerForTest([] {
            ++gUser.pickerCalls;
            if (gUser.insidePicker) gUser.insidePicker();
            return gUser.folder;
        });
        SetTextFileOpenerForTest([](const std::string& path) {
            gUser.textFiles.push_back(path);
            return true;
        });
        SetTitleObserverForTest([](const std::string& title) { gUser.titles.push_back(title); });
        SetClockForTest(nullptr);
        if (wall_->playing) ClearWall(wall_);
        SetClientSize(760, 600);
        for (int32_t id : {IdWidth250, IdIntervalStop, IdOrderName}) TriggerMenuCommandForTest(id);
        SetMenuItemState(IdClose, kMenuGreyed);
        WaitIdle(wall_);
        gUser = User{};
    }

    void SetClientSize(int32_t width, int32_t height) {
        int32_t w = 0, h = 0;
        ClientSizeForTest(wall_->hwnd, &w, &h);
        if (w != width || h != height) ResizeClientForTest(wall_->hwnd, width, height);
        ASSERT_EQ(std::pair(wall_->clientWidth, wall_->clientHeight), std::pair(width, height));
    }
    // "開く" from the menu, the picker answering folder.
    void Open(const std::string& folder) {
        gUser.folder = folder;
        TriggerMenuCommandForTest(IdOpen);
    }
    // Opens a playing wall, then forgets what the user saw.
    void OpenPlaying(const std::string& folder) {
        Open(folder);
        ASSERT_TRUE(wall_->playing) << folder;
        gUser = User{};
    }

    // Shuts the viewer down as the program does (Quit, join, GL teardown)
    // after the last test (one suite per executable), and removes the
    // generated files.
    static void TearDownTestSuite() {
        GifWall* wall = StartTestViewer();
        if (!wall) return;
        SetTitleObserverForTest(nullptr);
        Shutdown(wall);
        ASSERT_FALSE(wall->loaderThread || wall->mainRC) << "the loader or GL outlived Shutdown";
        delete std::exchange(gWall, nullptr);
        ShutdownPlatform();
        std::filesystem::remove_all(FreshFolder("done").parent_path());
    }

    GifWall* wall_ = nullptr;
};

}  // namespace flow
