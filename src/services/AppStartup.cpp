#include "AppStartup.h"

#include "SystemEventNames.h"
#include "platform/DesktopEntryFile.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QUrl>

#include <atomic>
#include <limits>

namespace talvor {
namespace {

std::atomic<LoginItems*> gOverride{nullptr};

QString canonical(const QString& path) {
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(path) : c;
}

bool isTrue(const QString& value) {
    return value.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
}

bool isFalse(const QString& value) {
    return value.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0;
}

}  // namespace

LoginItems::LoginItems(const QString& programPath, QObject* parent)
    : QObject(parent),
      programPath_(canonical(programPath.isEmpty() ? QCoreApplication::applicationFilePath()
                                                   : programPath)) {}

LoginItems::~LoginItems() = default;

LoginItems& LoginItems::shared() {
    if (LoginItems* overridden = gOverride.load()) {
        return *overridden;
    }
    static LoginItems* real = new LoginItems();
    return *real;
}

void LoginItems::setShared(LoginItems* items) {
    gOverride.store(items);
}

QString LoginItems::entryPath() {
    return platform::DesktopEntryFile::autostartFolder() + QLatin1Char('/') +
           platform::kMainBundleIdentifier + QStringLiteral(".desktop");
}

QString LoginItems::entryProgram() const {
    const auto entry = platform::DesktopEntryFile::read(entryPath());
    if (!entry || isTrue(entry->value(QStringLiteral("Hidden"))) ||
        isFalse(entry->value(QStringLiteral("X-GNOME-Autostart-enabled")))) {
        return QString();
    }
    const QStringList args =
        platform::DesktopEntryFile::splitExec(entry->value(QStringLiteral("Exec")));
    return args.isEmpty() ? QString() : args.constFirst();
}

bool LoginItems::isEnabled() const {
    const QString program = entryProgram();
    return !program.isEmpty() && canonical(program) == programPath_;
}

bool LoginItems::setEnabled(bool enable) {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setBool(enable, kStartAtLoginKey);
    defaults.synchronize();
    if (enable == isEnabled()) {
        return true;
    }
    if (!enable) {
        // Only our own entry goes; one of another copy stays.
        if (!QFile::exists(entryPath()) || QFile::remove(entryPath())) {
            return true;
        }
        platform::log(QStringLiteral("Could not remove the login item %1").arg(entryPath()));
        return false;
    }
    QString error;
    const bool ok = platform::DesktopEntryFile::write(
        entryPath(),
        {
            {QStringLiteral("Type"), QStringLiteral("Application")},
            {QStringLiteral("Name"), QStringLiteral("Talvor Pro")},
            {QStringLiteral("Comment"),
             QStringLiteral("Clock, calendar and alarms in the menu bar")},
            // The argument tells the program it was started at login (its due count-downs).
            {QStringLiteral("Exec"), platform::DesktopEntryFile::quoteExecArgument(programPath_) +
                                         QStringLiteral(" --at-login")},
            // A copy removed without its entry: the desktop skips the entry.
            {QStringLiteral("TryExec"), programPath_},
            {QStringLiteral("Terminal"), QStringLiteral("false")},
            {QStringLiteral("X-GNOME-Autostart-enabled"), QStringLiteral("true")},
        },
        &error);
    if (!ok) {
        platform::log(
            QStringLiteral("Could not write the login item %1: %2").arg(entryPath(), error));
    }
    return ok;
}

void LoginItems::synchronizeStartAtLogin() {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const bool enabled = isEnabled();
    if (defaults.objectForKey(kStartAtLoginKey) != QVariant(enabled)) {
        defaults.setBool(enabled, kStartAtLoginKey);
        defaults.synchronize();
    }
}

void LoginItems::watch() {
    if (watcher_ != nullptr) {
        return;
    }
    const QString folder = platform::DesktopEntryFile::autostartFolder();
    QDir().mkpath(folder);
    watcher_ = new QFileSystemWatcher(this);
    watcher_->addPath(folder);
    lastReported_ = isEnabled();
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { onFolderChanged(); });
}

void LoginItems::onFolderChanged() {
    const bool enabled = isEnabled();
    if (enabled != lastReported_) {
        lastReported_ = enabled;
        emit changed(enabled);
    }
}

namespace AppStartup {

QString ourURL() {
    return QUrl::fromLocalFile(LoginItems::shared().programPath()).toString();
}

void setInLoginItems(bool enable) {
    LoginItems::shared().setEnabled(enable);
}

bool isInLoginItems() {
    return LoginItems::shared().isEnabled();
}

}  // namespace AppStartup

QVariant MaxIntegerToZeroValueTransformer::transformedValue(const QVariant& value) {
    bool ok = false;
    const qlonglong n = value.toLongLong(&ok);
    if (ok && n == std::numeric_limits<qint64>::max()) {
        return QString();
    }
    return value;
}

}  // namespace talvor
