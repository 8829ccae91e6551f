#include "Clock.h"

#include "Log.h"
#include "SharedInstance.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/timerfd.h>
#include <unistd.h>
#include <chrono>
#include <ctime>

namespace talvor::platform {
namespace {

const QStringList kZoneFiles = {QStringLiteral("/etc/localtime"), QStringLiteral("/etc/timezone")};
// TZ cannot be watched; it and any missed file event are caught by this slow poll.
constexpr int kZonePollMs = 30000;

QByteArray systemZoneId() {
    QByteArray tz = qgetenv("TZ");
    if (!tz.isEmpty()) {
        return tz;
    }
    const QFileInfo link(QStringLiteral("/etc/localtime"));
    if (link.isSymLink()) {
        return QFile::encodeName(link.symLinkTarget());
    }
    return QTimeZone::systemTimeZoneId();
}

}  // namespace

Clock::~Clock() {
    SharedInstance<Clock>::withdraw(this);
}

Clock& Clock::shared() {
    return SharedInstance<Clock>::getOr(&Clock::system);
}

Clock& Clock::system() {
    static SystemClock* clock = new SystemClock();
    return *clock;
}

void Clock::setShared(Clock* clock) {
    SharedInstance<Clock>::setStandIn(clock);
}

SystemClock::SystemClock(QObject* parent) : Clock(parent), zoneId_(systemZoneId()) {
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] {
        watchZoneFiles();
        checkZone();
    });
    watchZoneFiles();
    zonePoll_ = new QTimer(this);
    zonePoll_->setInterval(kZonePollMs);
    connect(zonePoll_, &QTimer::timeout, this, &SystemClock::checkZone);
    zonePoll_->start();
    armJumpDetector();
}

SystemClock::~SystemClock() {
    if (jumpFd_ >= 0) {
        ::close(jumpFd_);
    }
}

Date SystemClock::now() const {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return Date::fromUnix(std::chrono::duration<double>(since).count());
}

QTimeZone SystemClock::currentZone() const {
    return QTimeZone::systemTimeZone();
}

void SystemClock::watchZoneFiles() {
    // A replaced file drops out of the watch list; add it back.
    for (const QString& f : kZoneFiles) {
        if (QFileInfo::exists(f) && !watcher_->files().contains(f)) {
            watcher_->addPath(f);
        }
    }
}

void SystemClock::checkZone() {
    const QByteArray id = systemZoneId();
    if (id == zoneId_) {
        return;
    }
    zoneId_ = id;
    ::tzset();
    log(QStringLiteral("The time zone changed to %1")
            .arg(QString::fromUtf8(QTimeZone::systemTimeZoneId())));
    emit zoneChanged();
}

// A realtime timer armed far in the future with TFD_TIMER_CANCEL_ON_SET wakes us when
// anyone sets the clock; reading it then fails with ECANCELED.
void SystemClock::armJumpDetector() {
    if (jumpFd_ < 0) {
        jumpFd_ = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
        if (jumpFd_ < 0) {
            log(QStringLiteral("Clock changes will not be noticed: timerfd is unavailable"));
            return;
        }
        jumpNotifier_ = new QSocketNotifier(jumpFd_, QSocketNotifier::Read, this);
        connect(jumpNotifier_, &QSocketNotifier::activated, this, &SystemClock::onJumpDetected);
    }
    itimerspec spec{};
    spec.it_value.tv_sec = std::numeric_limits<time_t>::max() / 2;
    if (::timerfd_settime(jumpFd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr) !=
        0) {
        log(QStringLiteral("Clock changes will not be noticed: the timer could not be armed"));
    }
}

void SystemClock::onJumpDetected() {
    uint64_t expirations = 0;
    const ssize_t n = ::read(jumpFd_, &expirations, sizeof expirations);
    if (n < 0 && errno == ECANCELED) {
        armJumpDetector();
        emit timeJumped();
        checkZone();
    }
}

}  // namespace talvor::platform
