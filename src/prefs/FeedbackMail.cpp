#include "FeedbackMail.h"

#include "platform/Clock.h"
#include "platform/EventModifiers.h"
#include "platform/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrlQuery>

#include <algorithm>

namespace talvor {
namespace {

const QString kSupportAddress = QStringLiteral("support@larkspindle.com");

QStringList logsUnder(const QString& source) {
    const QFileInfo info(source);
    if (info.isFile()) {
        return {info.absoluteFilePath()};
    }
    if (!info.isDir()) {
        return {};
    }
    QStringList found;
    QDirIterator it(source, {QStringLiteral("*.log")}, QDir::Files | QDir::Readable,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        found << it.next();
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

QString FeedbackLogs::fileName(QDate day) {
    return QStringLiteral("Talvor%1Logs.txt").arg(day.toString(QStringLiteral("yy-MM-dd")));
}

QStringList FeedbackLogs::standardSources() {
    QString caches = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!caches.startsWith(QLatin1Char('/'))) {
        caches = QDir::homePath() + QStringLiteral("/.cache");
    }
    return {caches + QStringLiteral("/talvor/com.wreckord.data")};
}

QString FeedbackLogs::desktopFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return desktop.isEmpty() ? QDir::homePath() : desktop;
}

std::optional<QString> FeedbackLogs::gather(const QStringList& sources, const QString& folder,
                                            QDate day) {
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(fileName(day));
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        platform::log(QStringLiteral("Feedback: the log file %1 could not be made: %2")
                          .arg(path, out.errorString()));
        return std::nullopt;
    }
    for (const QString& source : sources) {
        for (const QString& log : logsUnder(source)) {
            QFile in(log);
            if (!in.open(QIODevice::ReadOnly)) {
                continue;  // gone or unreadable since it was listed
            }
            out.write("==== " + log.toUtf8() + "\n");
            out.write(in.readAll());
            out.write("\n");
        }
    }
    if (!out.commit()) {
        platform::log(QStringLiteral("Feedback: the log file %1 could not be written").arg(path));
        return std::nullopt;
    }
    return path;
}

namespace FeedbackMail {

QUrl feedbackURL() {
    QUrl url(QStringLiteral("mailto:") + kSupportAddress);
    QUrlQuery query;
    const QString version = QCoreApplication::applicationVersion();
    query.addQueryItem(QStringLiteral("subject"),
                       version.isEmpty() ? QStringLiteral("Talvor feedback")
                                         : QStringLiteral("Talvor %1 feedback").arg(version));
    url.setQuery(query);
    return url;
}

void SendFeedBackViaMail(const std::function<void(const QUrl&)>& openURL,
                         const QStringList& logSources, const QString& desktop) {
    if ((platform::currentEventModifierFlags() & platform::AlternateKeyMask) != 0) {
        platform::log(QStringLiteral("--- running Talvor debug log"));
        const QDate today = platform::Clock::shared().now().toQDateTime().toLocalTime().date();
        FeedbackLogs::gather(logSources, desktop, today);
    }
    if (openURL) {
        openURL(feedbackURL());
    }
}

}  // namespace FeedbackMail

}  // namespace talvor
