// Message boxes, the version dialog, the folder picker and opening a text
// file, each with a seam so that tests can stand in for the user.
//
// Failure policy: a dialog that cannot be shown answers as if dismissed
// (No, no folder); a text file that cannot be opened gives false.
#include "platform/platform_qt.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <atomic>

namespace {

using MessageBoxFn = int32_t (*)(const std::string&, const std::string&, MessageBoxKind);
using FolderPickerFn = std::string (*)();
using TextFileOpenerFn = bool (*)(const std::string&);
using VersionDialogScriptFn = void (*)(VersionDialogForTest*);

std::atomic<MessageBoxFn> gMessageBox{nullptr};
std::atomic<FolderPickerFn> gFolderPicker{nullptr};
std::atomic<TextFileOpenerFn> gTextFileOpener{nullptr};
std::atomic<VersionDialogScriptFn> gVersionDialogScript{nullptr};

QWidget* OwnerWidget(PlatformWindow* owner) {
    return MainWidgetForTest(owner);
}

// Dialog 102: caption, three text lines, one push button and a 32 x 32 icon.
// It has no close box, and neither Esc nor the window manager's close
// request ends it: only the button does.
class VersionDialog final : public QDialog {
public:
    VersionDialog(QWidget* owner, const QString& caption, const QString& text,
                  const QString& buttonText, const uint8_t* iconRgba32)
        : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
        setWindowTitle(caption);
        text_ = new QLabel(text, this);
        text_->setTextFormat(Qt::PlainText);
        text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        icon_ = new QLabel(this);
        if (iconRgba32) {
            const QImage image(iconRgba32, 32, 32, 32 * 4, QImage::Format_RGBA8888);
            icon_->setPixmap(QPixmap::fromImage(image.copy()));
        }
        icon_->setFixedSize(32, 32);
        button_ = new QPushButton(buttonText, this);
        // Enter does not close the dialog either: the button is a plain push
        // button, not the dialog's default one.
        button_->setAutoDefault(false);
        connect(button_, &QPushButton::clicked, this, &QDialog::accept);

        auto* layout = new QGridLayout(this);
        layout->addWidget(text_, 0, 0, 2, 1);
        layout->addWidget(icon_, 0, 1, Qt::AlignHCenter | Qt::AlignTop);
        layout->addWidget(button_, 1, 1, Qt::AlignRight | Qt::AlignBottom);
        layout->setColumnStretch(0, 1);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }

    // Esc and a close request both arrive here; neither may close the dialog.
    void reject() override {}

    QLabel* text_;
    QLabel* icon_;
    QPushButton* button_;
};

}  // namespace

struct VersionDialogForTest {
    VersionDialog* dialog;
};

int32_t ShowMessageBox(PlatformWindow* owner, const std::string& text, const std::string& caption,
                       MessageBoxKind kind) {
    if (MessageBoxFn box = gMessageBox.load()) return box(text, caption, kind);
    QMessageBox box(OwnerWidget(owner));
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    box.setTextFormat(Qt::PlainText);
    if (kind == MessageBoxKind::YesNoQuestion) {
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
    }
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return kAnswerOk;
}

void ShowVersionDialog(PlatformWindow* owner, const std::string& caption, const std::string& text,
                       const std::string& buttonText, const uint8_t* iconRgba32) {
    QWidget* ownerWidget = OwnerWidget(owner);
    VersionDialog dialog(ownerWidget, QString::fromStdString(caption),
                         QString::fromStdString(text), QString::fromStdString(buttonText),
                         iconRgba32);
    dialog.adjustSize();
    // The dialog template sits at (0, 0) of the owner's client area.
    if (owner && owner->container) dialog.move(owner->container->mapToGlobal(QPoint(0, 0)));
    if (VersionDialogScriptFn script = gVersionDialogScript.load()) {
        QTimer::singleShot(0, &dialog, [&dialog, script] {
            VersionDialogForTest handle{&dialog};
            script(&handle);
        });
    }
    dialog.exec();
}

std::string PickFolder() {
    if (FolderPickerFn picker = gFolderPicker.load()) return picker();
    // No owner: the main window stays usable while the picker is open.
    const QString folder = QFileDialog::getExistingDirectory(nullptr);
    return QFile::encodeName(folder).toStdString();
}

bool OpenTextFile(const std::string& path) {
    if (TextFileOpenerFn opener = gTextFileOpener.load()) return opener(path);
    // The desktop's viewer runs as its own process; nobody waits for it.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
}

// ---------------------------------------------------------------- seams

void SetMessageBoxForTest(int32_t (*box)(const std::string& text, const std::string& caption,
                                         MessageBoxKind kind)) {
    gMessageBox.store(box);
}

void SetFolderPickerForTest(std::string (*picker)()) {
    gFolderPicker.store(picker);
}

void SetTextFileOpenerForTest(bool (*opener)(const std::string& path)) {
    gTextFileOpener.store(opener);
}

void SetVersionDialogScriptForTest(void (*script)(VersionDialogForTest* dialog)) {
    gVersionDialogScript.store(script);
}

VersionDialogViewForTest ViewVersionDialogForTest(VersionDialogForTest* handle) {
    VersionDialogViewForTest view;
    if (!handle || !handle->dialog) return view;
    VersionDialog* dialog = handle->dialog;
    view.open = dialog->isVisible();
    view.modal = dialog->isModal();
    view.hasCloseButton = dialog->windowFlags().testFlag(Qt::WindowCloseButtonHint);
    view.caption = dialog->windowTitle().toStdString();
    view.text = dialog->text_->text().toStdString();
    view.buttonText = dialog->button_->text().toStdString();
    const QPixmap icon = dialog->icon_->pixmap();
    if (!icon.isNull()) {
        const QImage image = icon.toImage().convertToFormat(QImage::Format_RGBA8888);
        view.iconWidth = image.width();
        view.iconHeight = image.height();
        const uchar* p = image.constBits();
        view.iconTopLeftRgba = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) |
                               (uint32_t{p[2]} << 8) | uint32_t{p[3]};
    }
    return view;
}

void PressEscapeInVersionDialogForTest(VersionDialogForTest* handle) {
    if (!handle || !handle->dialog) return;
    // To whatever has the focus, as the keyboard would; an ignored key
    // travels up to the dialog.
    QWidget* target = handle->dialog->focusWidget() ? handle->dialog->focusWidget() : handle->dialog;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
}

void ClickVersionDialogButtonForTest(VersionDialogForTest* handle) {
    if (handle && handle->dialog) handle->dialog->button_->click();
}
