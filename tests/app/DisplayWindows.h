#pragma once

// The windows of a running copy on the X display, as xdotool and xprop see them from outside.
#include "RunningTalvor.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

namespace talvor::test {

// True when the tests can reach windows on the display this way.
inline bool canDriveTheDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") &&
           QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("version")}) == 0;
}

inline QString xdotool(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), arguments);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The dialog windows the process shows now (X11 type DIALOG), by window id.
inline QStringList visibleDialogs(qint64 pid) {
    QStringList dialogs;
    const QString ids = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--pid"), QString::number(pid)});
    for (const QString& id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QProcess p;
        p.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), id, QStringLiteral("_NET_WM_WINDOW_TYPE")});
        p.waitForFinished(10000);
        if (p.readAllStandardOutput().contains("_NET_WM_WINDOW_TYPE_DIALOG")) {
            dialogs << id;
        }
    }
    return dialogs;
}

// Waits until `count` dialogs besides `others` show (20 s at most); their ids, or none.
inline QStringList waitForDialogs(RunningTalvor& app, int count, const QStringList& others = {}) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000 && app.process().state() == QProcess::Running) {
        QStringList dialogs = visibleDialogs(app.process().processId());
        dialogs.removeIf([&](const QString& id) { return others.contains(id); });
        if (dialogs.size() >= count) {
            return dialogs;
        }
        QThread::msleep(100);
    }
    return {};
}

// Presses Return in the dialog `id`, as a user answers it with its default button.
inline void pressReturnIn(const QString& id) {
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
}

}  // namespace talvor::test
