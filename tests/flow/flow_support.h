// Shared by the flow tests: the running viewer with stand-ins for the user
// (folder picker, message boxes) and a record of every title, folders of
// generated GIFs, and views of the wall read under its lock.
//
// Every test starts from the same state: no wall, a 760 x 600 client area
// with menu bar and frame, not topmost, 250px, 停止, file-name order, and the
// loader idle.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "gif/gif_decoder.h"
#include "platform/platform.h"
#include "viewer_support.h"
#include "wall/gif_wall.h"
#include "wall/loader.h"

namespace flow {

constexpr const char* kTitle = "リールスタック";
constexpr const char* kLoadingTitle = "リールスタック (読込中..)";
constexpr const char* kCaption = "メッセージダイアログ";
constexpr const char* kNoGifText = "画像が見つかりません。";
constexpr const char* kNothingShownText = "表示可能な画像が存在しません。";
constexpr const char* kEndQuestion = "現在の画像リストの再生を終了しますか？";

// ---------------------------------------------------------------- the user

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageBoxKind kind;
};

// All of it is touched on the UI thread only.
struct User {
    std::vector<std::string> titles;     // every title set, in order
    std::vector<ShownMessage> messages;  // every message box shown
    int32_t answer = kAnswerYes;         // to Yes/No questions
    std::string folder;                  // what the picker returns
    int pickerCalls = 0;
    void (*insidePicker)() = nullptr;    // runs while the picker is open
    std::vector<std::string> openedTextFiles;
};

inline User gUser;

inline void RecordTitle(const std::string& title) { gUser.titles.push_back(title); }

inline int32_t AnswerMessage(const std::string& text, const std::string& caption,
                             MessageBoxKind kind) {
    gUser.messages.push_back({text, caption, kind});
    return kind == MessageBoxKind::Ok ? kAnswerOk : gUser.answer;
}

inline std::string PickScriptedFolder() {
    ++gUser.pickerCalls;
    if (gUser.insidePicker) gUser.insidePicker();
    return gUser.folder;
}

inline bool RecordTextFile(const std::string& path) {
    gUser.openedTextFiles.push_back(path);
    return true;
}

// Titles shown while a fill measured its progress, as the number texts.
inline std::vector<std::string> ProgressTexts() {
    const std::string head = "リールスタック (読込中.. ";
    std::vector<std::string> out;
    for (const std::string& title : gUser.titles) {
        if (title.compare(0, head.size(), head) == 0 && title.size() > head.size() + 2 &&
            title.compare(title.size() - 2, 2, "%)") == 0) {
            out.push_back(title.substr(head.size(), title.size() - head.size() - 2));
        }
    }
    return out;
}

// ---------------------------------------------------------------- files

struct TestGif {
    std::string name;
    int width = 250;
    int height = 250;
    int frames = 2;
    bool broken = false;
    int seed = 0;
    int delay = 10;
};

// A file slow enough to decode that a test can post commands while the
// loader is still busy with it: 2000 x 1500, 10 frames, 250 x 187 on a
// 250-pixel wall. Made once per process and copied.
inline void WriteSlowGif(const std::filesystem::path& path) {
    static const std::filesystem::path made = [] {
        std::filesystem::path p = FreshFolder("slow-source") / "slow.gif";
        WriteSolidGif(p, 2000, 1500, 10, 10, 3);
        return p;
    }();
    std::filesystem::copy_file(made, path, std::filesystem::copy_options::overwrite_existing);
}
constexpr int32_t kSlowHeight = 187;  // 1500 / 2000 x 250, truncated

inline std::string MakeFolder(const std::string& name, std::initializer_list<TestGif> files) {
    std::filesystem::path dir = FreshFolder(name);
    for (const TestGif& gif : files) {
        if (gif.broken) {
            WriteBrokenGif(dir / gif.name);
        } else {
            WriteSolidGif(dir / gif.name, gif.width, gif.height, gif.frames, gif.delay,
                          gif.seed);
        }
    }
    return dir.string();
}

// ---------------------------------------------------------------- views

struct ColumnView {
    std::vector<int32_t> slots;    // oldest first
    std::vector<int32_t> heights;
    std::vector<int32_t> tops;
    bool operator==(const ColumnView&) const = default;
};

inline std::vector<ColumnView> ViewColumns(GifWall* wall) {
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    std::vector<ColumnView> view(static_cast<size_t>(wall->columnCount));
    for (int32_t c = 0; c < wall->columnCount; ++c) {
        for (int32_t slot : wall->columns[static_cast<size_t>(c)]) {
            const WallImage& image = wall->images[static_cast<size_t>(slot)];
            view[static_cast<size_t>(c)].slots.push_back(slot);
            view[static_cast<size_t>(c)].heights.push_back(image.height);
            view[static_cast<size_t>(c)].tops.push_back(image.top);
        }
    }
    return view;
}

inline std::vector<std::vector<int32_t>> ColumnHeights(GifWall* wall) {
    std::vector<std::vector<int32_t>> out;
    for (const ColumnView& column : ViewColumns(wall)) out.push_back(column.heights);
    return out;
}

// Fields the loader writes, read under the lock.
inline int32_t NextIndexOf(GifWall* wall) {
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    return wall->fileList.nextIndex;
}
inline int32_t CommandOf(GifWall* wall) {
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    return wall->loaderCommand;
}
inline int32_t LastAddColumnOf(GifWall* wall) {
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    return wall->lastAddColumn;
}
inline void SetNextIndex(GifWall* wall, int32_t index) {
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    wall->fileList.nextIndex = index;
}

// Polls (every 2 ms, without handling events) until done() holds.
template <class Done>
bool AwaitLoader(Done done, int timeoutMs = 20000) {
    auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeoutMs)) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Posts AddNext and waits until the loader has taken it from the mailbox.
inline bool PostAddNextTaken(GifWall* wall) {
    PostLoaderCommand(wall, AddNext);
    return AwaitLoader([wall] { return CommandOf(wall) == NoCommand; });
}

// One whole timed add: posted, taken, loaded, index advanced. The index
// must move (more than one file, or random order that moves).
inline bool RunOneAdd(GifWall* wall) {
    const int32_t before = NextIndexOf(wall);
    if (!PostAddNextTaken(wall)) return false;
    return AwaitLoader([wall, before] { return NextIndexOf(wall) != before; });
}

inline double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// ---------------------------------------------------------------- fixture

inline int LoaderThreadForTest(void* wall) { return LoaderMain(static_cast<GifWall*>(wall)); }

inline bool gViewerStarted = false;

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        wall_ = StartTestViewer();
        ASSERT_NE(wall_, nullptr) << "the viewer did not start";
        gViewerStarted = true;
        ASSERT_NE(wall_->loaderThread, nullptr) << "GL set-up failed: no loader";
        SetMessageBoxForTest(AnswerMessage);
        SetFolderPickerForTest(PickScriptedFolder);
        SetTextFileOpenerForTest(RecordTextFile);
        SetClockForTest(nullptr);
        ResetQuitForTest();

        if (wall_->playing) ClearWall(wall_);
        if (!HasMenuBar(wall_->hwnd)) DoubleClickClientForTest(wall_->hwnd);
        if (gTopmost) TriggerMenuCommandForTest(IdTopmost);
        SetClientSize(760, 600);
        TriggerMenuCommandForTest(203);  // 250px
        TriggerMenuCommandForTest(300);  // 停止
        TriggerMenuCommandForTest(IdOrderName);
        SetMenuItemState(IdClose, kMenuGreyed);
        WaitIdle(wall_);

        gUser = User{};
        SetTitleObserverForTest(RecordTitle);
    }

    void TearDown() override {
        SetTitleObserverForTest(nullptr);
        SetClockForTest(nullptr);
        gUser.insidePicker = nullptr;
    }

    void SetClientSize(int32_t width, int32_t height) {
        int32_t w = 0;
        int32_t h = 0;
        ClientSizeForTest(wall_->hwnd, &w, &h);
        if (w != width || h != height) ResizeClientForTest(wall_->hwnd, width, height);
        ClientSizeForTest(wall_->hwnd, &w, &h);
        ASSERT_EQ(w, width);
        ASSERT_EQ(h, height);
        ASSERT_EQ(wall_->clientWidth, width);
        ASSERT_EQ(wall_->clientHeight, height);
    }

    // "開く" from the menu, the picker answering with folder.
    void OpenThroughMenu(const std::string& folder) {
        gUser.folder = folder;
        TriggerMenuCommandForTest(IdOpen);
    }

    // Opens folder in file-name order and expects a playing wall; then
    // forgets what the opening showed.
    void OpenPlaying(const std::string& folder) {
        OpenThroughMenu(folder);
        ASSERT_TRUE(wall_->playing) << folder;
        gUser.titles.clear();
        gUser.messages.clear();
        gUser.pickerCalls = 0;
    }

    GifWall* wall_ = nullptr;
};

}  // namespace flow
