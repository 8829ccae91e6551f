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
    const auto nanoseconds = [](clockid_t clock) {
        timespec now{};
        clock_gettime(clock, &now);
        return QByteArray::number(qint64(now.tv_sec) * 1000000000 + now.tv_nsec);
    };
    // The process's CPU time too (all its threads): on a busy machine it varies far less.
    const QByteArray line =
        nanoseconds(CLOCK_MONOTONIC) + ' ' + nanoseconds(CLOCK_PROCESS_CPUTIME_ID) + '\n';
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(line);
    }
}

}  // namespace talvor::platform
