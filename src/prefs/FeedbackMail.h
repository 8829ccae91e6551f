#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace talvor {

// Gathers the program's own logs into one text file on the desktop, for a feedback mail.
// The logs are read, never moved or changed; a missing log is skipped.
class FeedbackLogs {
  public:
    // "Talvor<yy-MM-dd>Logs.txt".
    static QString fileName(QDate day);
    // The folders searched for logs: the crash kit's records under the cache folder.
    static QStringList standardSources();
    // The desktop folder; the home folder when the desktop has none.
    static QString desktopFolder();

    // Writes every "*.log" file found under `sources` (files or folders, searched in
    // order, each folder's files sorted by path) into `folder`/fileName(day), each after a
    // line naming it. The file is made even with no log found. Its path, or nullopt (and a
    // log line) when it could not be written.
    static std::optional<QString> gather(const QStringList& sources, const QString& folder,
                                         QDate day);
};

// The feedback mail: with Alt held, first the logs go to the desktop; then the desktop's mail
// program opens a message to the maker.
namespace FeedbackMail {

// The message to the maker, naming the program and its version.
QUrl feedbackURL();
// Gathers the logs when Alt is held (the event being handled, else the keys held now), then
// hands the mail to `openURL`.
void SendFeedBackViaMail(const std::function<void(const QUrl&)>& openURL,
                         const QStringList& logSources = FeedbackLogs::standardSources(),
                         const QString& desktop = FeedbackLogs::desktopFolder());

}  // namespace FeedbackMail

}  // namespace talvor
