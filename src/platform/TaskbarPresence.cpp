#include "TaskbarPresence.h"

#include "Log.h"
#include "WindowManagerHints.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace talvor::platform {
namespace {

TaskbarPresence* gReplacement = nullptr;

// Popups, tool tips and tool windows never have taskbar entries.
bool hasTaskbarEntry(const QWindow& window) {
    return window.isTopLevel() && (window.type() == Qt::Window || window.type() == Qt::Dialog);
}

}  // namespace

TaskbarPresence::~TaskbarPresence() = default;

TaskbarPresence& TaskbarPresence::shared() {
    if (gReplacement != nullptr) {
        return *gReplacement;
    }
    // Never destroyed: the application object it watches may outlive main's scope.
    static TaskbarPresence* real = new WindowTaskbarPresence();
    return *real;
}

void TaskbarPresence::setShared(TaskbarPresence* presence) {
    gReplacement = presence;
}

void WindowTaskbarPresence::setShowsInTaskbar(bool shows) {
    if (shows == shows_) {
        return;
    }
    shows_ = shows;
    WindowManagerHints& hints = WindowManagerHints::shared();
    if (!hints.isAvailable()) {
        if (!shows && !told_) {
            told_ = true;
            log(QStringLiteral(
                "Taskbar: no window manager hears us; our windows keep their taskbar entries"));
        }
        return;
    }
    // Until the first switch nothing carries the state, so windows need no look before.
    if (!watching_) {
        watching_ = true;
        QCoreApplication::instance()->installEventFilter(this);
    }
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->handle() != nullptr && hasTaskbarEntry(*window)) {
            hints.setSkipTaskbar(window->winId(), !shows_, window->isVisible());
        }
    }
}

bool WindowTaskbarPresence::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Show) {
        return false;
    }
    // The show event comes before Qt maps the window, while it still carries its own state.
    QWindow* window = nullptr;
    if (watched->isWindowType()) {
        window = static_cast<QWindow*>(watched);
    } else if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
        window = static_cast<QWidget*>(watched)->windowHandle();
    }
    if (window != nullptr && window->handle() != nullptr && hasTaskbarEntry(*window)) {
        WindowManagerHints::shared().setSkipTaskbar(window->winId(), !shows_, false);
    }
    return false;
}

}  // namespace talvor::platform
