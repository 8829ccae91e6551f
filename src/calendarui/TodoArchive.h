#pragma once

#include <QDate>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <optional>
#include <vector>

namespace talvor {

// The archive of finished to-do items as the to-do pane sets it ("TodoArchiveOptionsKey"):
// the file, its format and rollover, what an entry holds and when items go in.
struct TodoArchiveOptions {
    enum Format { Text = 0, Html = 1, Rtf = 2 };
    enum Template { TitleOnly = 0, TitleAndNotes = 1 };
    enum When { WhenCompleted = 0, Daily = 1, Weekly = 2 };

    QString location;  // "~" expanded
    bool on = false;
    bool summary = false;
    int format = Text;
    int entryTemplate = TitleOnly;
    int rollover = 0;  // 0 one file, 1 a file a month, 2 a file a year, other: no suffix
    int when = Daily;

    // The stored dictionary; absent entries keep the defaults above ("when": daily).
    static TodoArchiveOptions fromStored(const QVariantMap& stored);
    // The file for `today`: the location without its extension, then the rollover suffix
    // and the format's extension ("Todo26.rtf", "Archive26-12.txt").
    static QString pathFor(const QString& location, int format, int rollover, QDate today);
    QString pathFor(QDate today) const { return pathFor(location, format, rollover, today); }
    // ".txt", ".html" or ".rtf" after the format (anything else is rich text).
    static QString extensionOf(int format);
};

// A finished to-do item as the archive writes it.
struct FinishedTodo {
    QString uid;
    QString title;
    QString notes;
    std::optional<QDate> completed;
};

// Writes finished to-do items into the archive file, each item once: appended in the file's
// format (a new file gets the format's head and foot, an existing one keeps what it has).
class TodoArchive {
  public:
    struct Result {
        int written = 0;
        std::optional<QString> error;  // the file could not be written
    };

    // Whether an archive run is due on `today` after one on `last`: at once for items as
    // they are completed, else once a day or once a week.
    static bool due(int when, std::optional<QDate> last, QDate today);
    // Appends the items of `finished` whose uid is not in `archived` and adds their uids to
    // it; nothing is written when none is new.
    static Result append(const TodoArchiveOptions& options,
                         const std::vector<FinishedTodo>& finished, QSet<QString>& archived,
                         QDate today);
    // The entries of `items` in the format, with the summary line first when asked.
    static QString entries(const TodoArchiveOptions& options,
                           const std::vector<FinishedTodo>& items, QDate today);
};

}  // namespace talvor
