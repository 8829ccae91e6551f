#include "TestEnvironment.h"

#include "platform/Log.h"
#include "platform/Preferences.h"

#include <QLocale>

#include <clocale>
#include <string>

namespace talvor::test {

XdgSandbox::XdgSandbox() {
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        saved_.append({QByteArray(var), qgetenv(var)});
    }
    const QByteArray root = dir_.path().toUtf8();
    qputenv("HOME", root + "/home");
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    platform::Preferences::resetAll();
}

XdgSandbox::~XdgSandbox() {
    platform::Preferences::resetAll();
    for (const auto& [var, value] : saved_) {
        if (value.isNull()) {
            qunsetenv(var.constData());
        } else {
            qputenv(var.constData(), value);
        }
    }
}

LogCapture::LogCapture() {
    previous_ = platform::setLogSink([shared = lines_](const QString& line) {
        const std::lock_guard lock(shared->mutex);
        shared->lines.append(line);
    });
}

LogCapture::~LogCapture() {
    platform::setLogSink(previous_);
}

QStringList LogCapture::lines() const {
    const std::lock_guard lock(lines_->mutex);
    return lines_->lines;
}

void LogCapture::clear() {
    const std::lock_guard lock(lines_->mutex);
    lines_->lines.clear();
}

bool LogCapture::contains(const QString& text) const {
    for (const QString& l : lines()) {
        if (l.contains(text)) {
            return true;
        }
    }
    return false;
}

bool withLocale(const char* locale, const std::function<void()>& fn) {
    const std::string oldC = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, locale) == nullptr) {
        return false;
    }
    const QLocale oldQt;
    QLocale::setDefault(QLocale(QString::fromLatin1(locale).section(QLatin1Char('.'), 0, 0)));
    fn();
    QLocale::setDefault(oldQt);
    std::setlocale(LC_ALL, oldC.c_str());
    return true;
}

}  // namespace talvor::test
