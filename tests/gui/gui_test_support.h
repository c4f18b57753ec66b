// Helpers shared by the platform's GUI tests: a recording window procedure
// and an event pump with a deadline.
#pragma once

#include "platform/platform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <vector>

// Every event the window procedure received, in order.
inline std::vector<WindowEvent>& RecordedEvents() {
    static std::vector<WindowEvent> events;
    return events;
}

inline void RecordEvent(const WindowEvent& event) {
    RecordedEvents().push_back(event);
}

// Handles events until done() holds; false when timeoutMs passed first.
template <class Done>
bool PumpUntil(Done done, int timeoutMs = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(2);
    }
    return true;
}

inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

inline size_t CountEvents(WindowEventKind kind) {
    size_t count = 0;
    for (const WindowEvent& event : RecordedEvents()) count += event.kind == kind;
    return count;
}

// The last Size event, or one of kind Command when there was none.
inline WindowEvent LastSizeEvent() {
    for (auto it = RecordedEvents().rbegin(); it != RecordedEvents().rend(); ++it) {
        if (it->kind == WindowEventKind::Size) return *it;
    }
    return WindowEvent{WindowEventKind::Command};
}
