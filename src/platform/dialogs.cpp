// Message boxes, the version dialog, the folder picker and opening a text
// file, each with a seam so that tests can stand in for the user.
//
// Failure policy: a dialog that cannot be shown answers as if dismissed
// (No, no folder); a text file that cannot be opened gives false.
#include "platform/platform_qt.h"
#include "platform/seams.h"

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

QWidget* OwnerWidget(PlatformWindow* owner) {
    return owner ? owner->widget : nullptr;
}

}  // namespace



int32_t ShowMessageBox(PlatformWindow* owner, const std::string& text, const std::string& caption,
                       MessageBoxKind kind) {
    if (auto box = seams::messageBox.load()) return box(text, caption, kind);
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
    if (auto script = seams::versionDialogScript.load()) {
        QTimer::singleShot(0, &dialog, [&dialog, script] {
            VersionDialogHandle handle{&dialog};
            script(&handle);
        });
    }
    dialog.exec();
}

std::string PickFolder() {
    if (auto picker = seams::folderPicker.load()) return picker();
    // No owner: the main window stays usable while the picker is open.
    const QString folder = QFileDialog::getExistingDirectory(nullptr);
    return QFile::encodeName(folder).toStdString();
}

bool OpenTextFile(const std::string& path) {
    if (auto opener = seams::textFileOpener.load()) return opener(path);
    // The desktop's viewer runs as its own process; nobody waits for it.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
}
