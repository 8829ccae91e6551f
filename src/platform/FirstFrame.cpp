#include "FirstFrame.h"

#include <QEvent>
#include <QFile>
#include <QWidget>

#include <ctime>

namespace talvor::platform {

FirstFrameWatch::FirstFrameWatch(QWidget& window, std::function<void()> done)
    : QObject(&window), done_(std::move(done)) {
    window.installEventFilter(this);
}

bool FirstFrameWatch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && !painted_ &&
        static_cast<QWidget*>(watched)->isVisible()) {
        painted_ = true;
        watched->removeEventFilter(this);
        // Queued: the window's backing store is flushed once its paint event returns.
        QMetaObject::invokeMethod(
            this,
            [this] {
                const std::function<void()> done = std::move(done_);
                deleteLater();
                if (done) {
                    done();
                }
            },
            Qt::QueuedConnection);
    }
    return false;
}

void recordFirstFrameTime() {
    const QString path = qEnvironmentVariable("TALVOR_FIRST_FRAME_FILE");
    if (path.isEmpty()) {
        return;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 ns = qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(QByteArray::number(ns));
    }
}

}  // namespace talvor::platform
