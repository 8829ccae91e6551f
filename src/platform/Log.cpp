#include "Log.h"

#include <QApplication>
#include <QDateTime>

#include <cstdio>
#include <mutex>

namespace talvor {

int myDebug = 0;

namespace platform {
namespace {

std::mutex& logMutex() {
    static std::mutex m;
    return m;
}

LogSink& sinkSlot() {
    static LogSink sink;
    return sink;
}

BeepHandler& beepSlot() {
    static BeepHandler handler;
    return handler;
}

}  // namespace

void log(const QString& line) {
    LogSink sink;
    {
        std::lock_guard lock(logMutex());
        sink = sinkSlot();
    }
    if (sink) {
        sink(line);
        return;
    }
    const QByteArray stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
    const QByteArray text = line.toUtf8();
    std::lock_guard lock(logMutex());
    std::fprintf(stderr, "%s talvor: %s\n", stamp.constData(), text.constData());
    std::fflush(stderr);
}

void debugLog(const QString& line) {
    if (myDebug != 0) {
        log(line);
    }
}

LogSink setLogSink(LogSink sink) {
    std::lock_guard lock(logMutex());
    return std::exchange(sinkSlot(), std::move(sink));
}

void beep() {
    BeepHandler handler;
    {
        std::lock_guard lock(logMutex());
        handler = beepSlot();
    }
    if (handler) {
        handler();
    } else if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        QApplication::beep();
    }
}

BeepHandler setBeepHandler(BeepHandler handler) {
    std::lock_guard lock(logMutex());
    return std::exchange(beepSlot(), std::move(handler));
}

}  // namespace platform
}  // namespace talvor
