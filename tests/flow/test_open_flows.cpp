// "開く" from the menu with the picker and the message boxes answered by the
// test: each way an open can end, what the user sees, and what is left.
#include "flow_support.h"
#include "gl_readback.h"

namespace flow {
namespace {

class OpenFlowTest : public FlowTest {};

TEST_F(OpenFlowTest, AnsweringNoToTheQuestionChangesNothing) {
    OpenPlaying(MakeFolder("keep", {{"a.gif", 250, 300}, {"b.gif", 250, 350}}));
    const std::vector<ColumnView> before = ViewColumns(wall_);
    const std::vector<std::string> files = wall_->fileList.files;
    const std::string title = WindowTitleForTest(wall_->hwnd);
    gUser.answer = kAnswerNo;
    OpenThroughMenu(MakeFolder("other", {{"x.gif", 250, 500}}));

    ASSERT_EQ(gUser.messages.size(), 1u);
    EXPECT_EQ(gUser.messages[0].text, kEndQuestion);
    EXPECT_EQ(gUser.messages[0].caption, kCaption);
    EXPECT_EQ(gUser.messages[0].kind, MessageBoxKind::YesNoQuestion);
    EXPECT_EQ(gUser.pickerCalls, 0);
    EXPECT_TRUE(gUser.titles.empty()) << gUser.titles.front();
    EXPECT_EQ(WindowTitleForTest(wall_->hwnd), title);
    EXPECT_TRUE(wall_->playing);
    EXPECT_EQ(ViewColumns(wall_), before);
    EXPECT_EQ(wall_->fileList.files, files);
    EXPECT_TRUE(IsMenuItemEnabledForTest(IdClose));
}

TEST_F(OpenFlowTest, ChoosingNoFolderShowsNothingAndRestoresTheTitle) {
    OpenThroughMenu("");
    EXPECT_EQ(gUser.pickerCalls, 1);
    EXPECT_TRUE(gUser.messages.empty());
    EXPECT_EQ(gUser.titles, (std::vector<std::string>{kLoadingTitle, kTitle}));
    EXPECT_FALSE(wall_->playing);
    EXPECT_TRUE(wall_->fileList.folderPath.empty());
    EXPECT_TRUE(wall_->fileList.files.empty());
    EXPECT_FALSE(IsMenuItemEnabledForTest(IdClose));
}

TEST_F(OpenFlowTest, AFolderWithoutGifSaysSo) {
    const std::string folder = MakeFolder("no-gif", {});
    WriteBytes(folder + "/a.png", {1, 2, 3});
    OpenThroughMenu(folder);
    ASSERT_EQ(gUser.messages.size(), 1u);
    EXPECT_EQ(gUser.messages[0].text, kNoGifText);
    EXPECT_EQ(gUser.messages[0].caption, kCaption);
    EXPECT_EQ(gUser.messages[0].kind, MessageBoxKind::Ok);
    EXPECT_EQ(gUser.titles, (std::vector<std::string>{kLoadingTitle, kTitle}));
    EXPECT_FALSE(wall_->playing);
    EXPECT_EQ(wall_->fileList.folderPath, folder);
}

TEST_F(OpenFlowTest, ASecondOpenReplacesThePlayingWall) {
    OpenPlaying(MakeFolder("first", {{"a.gif", 250, 300}, {"b.gif", 250, 350}}));
    std::vector<uint32_t> oldObjects;
    for (const WallImage& image : wall_->images) {
        oldObjects.push_back(image.buffer);
        for (const FrameTexture& frame : image.frames) oldObjects.push_back(frame.texture);
    }
    ASSERT_TRUE(RunOneAdd(wall_));  // something staged when the second open comes

    const std::string second = MakeFolder("second", {{"x.gif", 250, 500}, {"y.gif", 250, 125}});
    OpenThroughMenu(second);
    ASSERT_EQ(gUser.messages.size(), 1u);
    EXPECT_EQ(gUser.messages[0].text, kEndQuestion);
    ASSERT_TRUE(wall_->playing);
    EXPECT_TRUE(IsMenuItemEnabledForTest(IdClose));
    EXPECT_EQ(gUser.titles.front(), kLoadingTitle);
    EXPECT_EQ(gUser.titles.back(), kTitle);
    for (const std::string& file : wall_->fileList.files) {
        EXPECT_EQ(file.compare(0, second.size(), second), 0) << file;
    }
    for (const ColumnView& column : ViewColumns(wall_)) {
        for (int32_t height : column.heights) EXPECT_TRUE(height == 500 || height == 125) << height;
    }
    EXPECT_EQ(wall_->pendingStatus, -1);
    EXPECT_EQ(wall_->lastAddColumn, -1);

    // The first wall's GL objects are gone, unless a name was handed out
    // again to the new wall.
    std::vector<uint32_t> newObjects;
    for (const WallImage& image : wall_->images) {
        newObjects.push_back(image.buffer);
        for (const FrameTexture& frame : image.frames) newObjects.push_back(frame.texture);
    }
    size_t released = 0;
    for (uint32_t name : oldObjects) {
        if (std::find(newObjects.begin(), newObjects.end(), name) != newObjects.end()) continue;
        EXPECT_FALSE(IsGlObjectName(name)) << name;
        ++released;
    }
    EXPECT_GT(released, 0u);
}

TEST_F(OpenFlowTest, TheColumnCountComesFromTheClientWidth) {
    const std::string folder = MakeFolder("count", {{"a.gif", 250, 600}});
    struct Row {
        int32_t width;
        int32_t widthCommand;
        int32_t columns;
    };
    const Row rows[] = {
        {760, 203, 3},  // 250px
        {200, 203, 1},  // narrower than one column
        {760, 200, 7},  // 100px
        {999, 206, 2},  // 400px
    };
    for (const Row& row : rows) {
        if (wall_->playing) TriggerMenuCommandForTest(IdClose);
        SetClientSize(row.width, 600);
        TriggerMenuCommandForTest(row.widthCommand);
        OpenThroughMenu(folder);
        ASSERT_TRUE(wall_->playing);
        EXPECT_EQ(wall_->columnCount, row.columns) << row.width << " / " << row.widthCommand;
        // Every column got filled.
        const std::vector<ColumnView> columns = ViewColumns(wall_);
        for (const ColumnView& column : columns) EXPECT_FALSE(column.heights.empty());
    }
}

TEST_F(OpenFlowTest, WithoutALoaderOpeningIsRefused) {
    LoaderThread* loader = wall_->loaderThread;
    wall_->loaderThread = nullptr;
    OpenThroughMenu(MakeFolder("no-loader", {{"a.gif", 250, 300}}));
    wall_->loaderThread = loader;

    ASSERT_EQ(gUser.messages.size(), 1u);
    EXPECT_EQ(gUser.messages[0].caption, kCaption);
    EXPECT_EQ(gUser.messages[0].kind, MessageBoxKind::Ok);
    EXPECT_FALSE(gUser.messages[0].text.empty());
    EXPECT_EQ(gUser.pickerCalls, 0);
    EXPECT_TRUE(gUser.titles.empty());
    EXPECT_FALSE(wall_->playing);
    EXPECT_TRUE(wall_->images.empty());

    // And with the loader back, the same open works.
    OpenThroughMenu(gUser.folder);
    EXPECT_TRUE(wall_->playing);
}

// Only from the outer picker, so that a missing guard shows as a second
// picker call instead of endless nesting.
// The command line's folder: opened as if picked, without the picker.
TEST_F(OpenFlowTest, AFolderGivenDirectlyIsOpenedWithoutThePicker) {
    const std::string folder = MakeFolder("direct", {{"a.gif", 250, 300}});
    OpenCommand(wall_, &folder);
    EXPECT_EQ(gUser.pickerCalls, 0);
    ASSERT_TRUE(wall_->playing);
    EXPECT_EQ(wall_->fileList.folderPath, folder);
    EXPECT_TRUE(IsMenuItemEnabledForTest(IdClose));
    EXPECT_EQ(gUser.titles.front(), kLoadingTitle);
    EXPECT_EQ(gUser.titles.back(), kTitle);

    // Over a playing wall it asks first, as the menu does.
    gUser.answer = kAnswerNo;
    const std::string other = MakeFolder("direct-other", {{"x.gif", 250, 500}});
    OpenCommand(wall_, &other);
    ASSERT_EQ(gUser.messages.size(), 1u);
    EXPECT_EQ(gUser.messages[0].text, kEndQuestion);
    EXPECT_EQ(wall_->fileList.folderPath, folder);
}

void OpenAgainFromInsideThePicker() {
    if (gUser.pickerCalls == 1) TriggerMenuCommandForTest(IdOpen);
}

TEST_F(OpenFlowTest, NoSecondOpenStartsInsideTheFirst) {
    OpenPlaying(MakeFolder("outer-first", {{"a.gif", 250, 300}}));
    const std::string folder = MakeFolder("outer-second", {{"x.gif", 250, 500}});
    gUser.insidePicker = OpenAgainFromInsideThePicker;
    OpenThroughMenu(folder);
    EXPECT_EQ(gUser.pickerCalls, 1);
    ASSERT_EQ(gUser.messages.size(), 1u) << "the inner open asked again";
    EXPECT_EQ(gUser.messages[0].text, kEndQuestion);
    EXPECT_EQ(std::count(gUser.titles.begin(), gUser.titles.end(), kLoadingTitle), 1);
    ASSERT_TRUE(wall_->playing);
    EXPECT_EQ(wall_->fileList.folderPath, folder);

    // Once it has ended, "開く" works again.
    gUser.insidePicker = nullptr;
    OpenThroughMenu(folder);
    EXPECT_EQ(gUser.pickerCalls, 2);
    EXPECT_TRUE(wall_->playing);
}

}  // namespace
}  // namespace flow
