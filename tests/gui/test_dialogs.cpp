// Message boxes, the version dialog, the folder picker and opening a text
// file: the real Qt dialogs answered by a scripted user, and the seams.
#include "gui_test_support.h"
#include "platform/platform_qt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>

namespace {

const MenuEntry kMenu[] = {
    {MenuEntryKind::Popup, 0, "ヘルプ"},
    {MenuEntryKind::Item, 500, "バージョン情報"},
    {MenuEntryKind::EndPopup, 0, nullptr},
};

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = CreateMainWindow("リールスタック", 320, 240, kMenu, std::size(kMenu), RecordEvent);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        SetMessageBoxForTest(nullptr);
        SetFolderPickerForTest(nullptr);
        SetTextFileOpenerForTest(nullptr);
        SetVersionDialogScriptForTest(nullptr);
        DestroyWindowForTest(window_);
    }
    PlatformWindow* window_ = nullptr;
};

// Runs act on the first modal widget once one is open, from inside its loop.
void WhenModalOpens(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start();
}

// ---------------------------------------------------------------- message boxes

struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
};

TEST_F(DialogTest, MessageBoxesShowTheirTextsButtonsAndIcon) {
    struct Row {
        MessageBoxKind kind;
        QMessageBox::StandardButton click;
        int32_t answer;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };
    const Row rows[] = {
        {MessageBoxKind::Ok, QMessageBox::Ok, kAnswerOk, QMessageBox::NoIcon, QMessageBox::Ok},
        {MessageBoxKind::YesNoQuestion, QMessageBox::Yes, kAnswerYes, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No},
        {MessageBoxKind::YesNoQuestion, QMessageBox::No, kAnswerNo, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No},
    };
    for (const Row& row : rows) {
        SeenBox seen;
        WhenModalOpens([&seen, click = row.click](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return;
            seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                    box->parentWidget()};
            box->button(click)->click();
        });
        const int32_t answer = ShowMessageBox(window_, "現在の画像リストの再生を終了しますか？",
                                              "メッセージダイアログ", row.kind);
        EXPECT_EQ(answer, row.answer);
        EXPECT_EQ(seen.title, QString("メッセージダイアログ"));
        EXPECT_EQ(seen.text, QString("現在の画像リストの再生を終了しますか？"));
        EXPECT_EQ(seen.icon, row.icon);
        EXPECT_EQ(seen.buttons, row.buttons);
        EXPECT_EQ(seen.parent, MainWidgetForTest(window_));
    }
}

// ---------------------------------------------------------------- version dialog

struct DialogScriptLog {
    VersionDialogViewForTest shown, afterEscape, afterClick;
    bool ran = false;
};
DialogScriptLog gScriptLog;

const std::string kVersionText = "リールスタック 1.0.1\n\n公開日付: 2019.6";

TEST_F(DialogTest, VersionDialogClosesOnlyThroughItsButton) {
    gScriptLog = {};
    SetVersionDialogScriptForTest([](VersionDialogForTest* dialog) {
        gScriptLog.ran = true;
        gScriptLog.shown = ViewVersionDialogForTest(dialog);
        PressEscapeInVersionDialogForTest(dialog);
        PumpFor(50);
        gScriptLog.afterEscape = ViewVersionDialogForTest(dialog);
        ClickVersionDialogButtonForTest(dialog);
        gScriptLog.afterClick = ViewVersionDialogForTest(dialog);
    });
    uint8_t icon[32 * 32 * 4] = {};
    icon[0] = 0x12;
    icon[1] = 0x34;
    icon[2] = 0x56;
    icon[3] = 0xFF;
    ShowVersionDialog(window_, "バージョン情報", kVersionText, "閉じる", icon);

    ASSERT_TRUE(gScriptLog.ran);
    const VersionDialogViewForTest& shown = gScriptLog.shown;
    EXPECT_TRUE(shown.open);
    EXPECT_TRUE(shown.modal);
    EXPECT_FALSE(shown.hasCloseButton);
    EXPECT_EQ(shown.caption, "バージョン情報");
    EXPECT_EQ(shown.text, kVersionText);
    EXPECT_EQ(shown.buttonText, "閉じる");
    EXPECT_EQ(shown.iconWidth, 32);
    EXPECT_EQ(shown.iconHeight, 32);
    EXPECT_EQ(shown.iconTopLeftRgba, 0x123456FFu);

    EXPECT_TRUE(gScriptLog.afterEscape.open);
    EXPECT_FALSE(gScriptLog.afterClick.open);
}

TEST_F(DialogTest, VersionDialogIgnoresACloseRequest) {
    // What a window manager's close shortcut sends, in place of the close
    // box the dialog does not have.
    static bool stayedOpen = false;
    SetVersionDialogScriptForTest([](VersionDialogForTest* dialog) {
        QApplication::activeModalWidget()->close();
        PumpFor(20);
        stayedOpen = ViewVersionDialogForTest(dialog).open;
        ClickVersionDialogButtonForTest(dialog);
    });
    ShowVersionDialog(window_, "バージョン情報", kVersionText, "閉じる", nullptr);
    EXPECT_TRUE(stayedOpen);
}

// ---------------------------------------------------------------- folder picker

TEST_F(DialogTest, FolderPickerHasNoOwnerAndGivesTheChosenPath) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString folder = root.filePath("アニメ 素材");
    ASSERT_TRUE(QDir().mkpath(folder));

    QWidget* seenParent = reinterpret_cast<QWidget*>(1);
    WhenModalOpens([&](QWidget* modal) {
        auto* picker = qobject_cast<QFileDialog*>(modal);
        if (!picker) return;
        seenParent = picker->parentWidget();
        picker->setDirectory(folder);
        static_cast<QDialog*>(picker)->accept();  // QFileDialog's override is protected
    });
    EXPECT_EQ(PickFolder(), folder.toStdString());
    EXPECT_EQ(seenParent, nullptr);

    WhenModalOpens([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(PickFolder(), "");
}

// ---------------------------------------------------------------- text file

}  // namespace

// Stands in for the desktop: receives what would go to the text viewer.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

namespace {

TEST_F(DialogTest, TextFileGoesToTheDesktopAsAFileUrl) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    const std::string path = "/home/ユーザー/リール スタック/readme.txt";
    const bool opened = OpenTextFile(path);
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_TRUE(opened);
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].scheme(), "file");
    EXPECT_EQ(catcher.urls[0].toLocalFile().toStdString(), path);
}

// ---------------------------------------------------------------- seams

TEST_F(DialogTest, SeamsAnswerInsteadOfTheUser) {
    static std::string seen;
    SetMessageBoxForTest([](const std::string& text, const std::string& caption,
                            MessageBoxKind kind) -> int32_t {
        seen = text + "|" + caption + (kind == MessageBoxKind::YesNoQuestion ? "|yes/no" : "|ok");
        return kAnswerNo;
    });
    EXPECT_EQ(ShowMessageBox(window_, "err1", "ピクセルformat設定エラー", MessageBoxKind::Ok),
              kAnswerNo);
    EXPECT_EQ(seen, "err1|ピクセルformat設定エラー|ok");

    SetFolderPickerForTest([] { return std::string("/tmp/gifs"); });
    EXPECT_EQ(PickFolder(), "/tmp/gifs");

    SetTextFileOpenerForTest([](const std::string& path) {
        seen = path;
        return false;
    });
    EXPECT_FALSE(OpenTextFile("/x/readme.txt"));
    EXPECT_EQ(seen, "/x/readme.txt");
}

}  // namespace

#include "test_dialogs.moc"
