// Watching the open folder: inotify through QFileSystemWatcher, with bursts
// of changes gathered by a single-shot timer so that a busy folder costs one
// look per delay, not one per change.
#include <QFileSystemWatcher>
#include <QString>
#include <QTimer>

#include "platform/platform.h"

struct FolderWatch {
    QFileSystemWatcher watcher;
    QTimer timer;
    void (*onChange)() = nullptr;
};

FolderWatch* StartFolderWatch(const std::string& folder, uint32_t delayMs, void (*onChange)()) {
    auto* watch = new FolderWatch;
    if (!watch->watcher.addPath(QString::fromStdString(folder))) {
        delete watch;
        return nullptr;
    }
    watch->onChange = onChange;
    watch->timer.setSingleShot(true);
    watch->timer.setInterval(static_cast<int>(delayMs));
    QObject::connect(&watch->timer, &QTimer::timeout, &watch->timer, [watch] {
        if (watch->onChange) watch->onChange();
    });
    QObject::connect(&watch->watcher, &QFileSystemWatcher::directoryChanged, &watch->timer,
                     [watch] {
                         // The first change of a burst starts the timer;
                         // the rest ride along.
                         if (!watch->timer.isActive()) watch->timer.start();
                     });
    return watch;
}

void LookAgainLater(FolderWatch* watch) {
    if (watch && !watch->timer.isActive()) watch->timer.start();
}

void StopFolderWatch(FolderWatch* watch) {
    delete watch;
}
