#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <mutex>

namespace talvor::test {

// Points HOME and the XDG folders at a fresh temporary folder for the life of the object,
// and forgets the preference domains opened before and inside it.
class XdgSandbox {
  public:
    XdgSandbox();
    ~XdgSandbox();
    QString root() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
    QList<QPair<QByteArray, QByteArray>> saved_;
};

// Sets or clears an environment variable for the life of the object.
class ScopedEnvVar {
  public:
    ScopedEnvVar(const char* name, const QString& value)
        : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value.toUtf8());
        }
    }
    ~ScopedEnvVar() {
        if (had_) {
            qputenv(name_, old_);
        } else {
            qunsetenv(name_);
        }
    }
    ScopedEnvVar(const ScopedEnvVar&) = delete;
    ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;

  private:
    const char* name_;
    QByteArray old_;
    bool had_;
};

// Collects log lines while alive. Threads of the code under test log too, and the log may
// call a sink it copied just before this capture ended: the lines are shared and locked.
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    QStringList lines() const;
    bool contains(const QString& text) const;
    void clear();

  private:
    struct Lines {
        std::mutex mutex;
        QStringList lines;
    };
    std::shared_ptr<Lines> lines_ = std::make_shared<Lines>();
    std::function<void(const QString&)> previous_;
};

// Runs `fn` with the C library's and Qt's default locale set to `locale` (numbers written
// with decimal commas under de_DE), restoring both afterwards. False when the locale is not
// installed.
bool withLocale(const char* locale, const std::function<void()>& fn);

}  // namespace talvor::test
