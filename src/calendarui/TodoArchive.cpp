#include "TodoArchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace talvor {
namespace {

QString expandTilde(const QString& path) {
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/"))) {
        return QDir::homePath() + path.mid(1);
    }
    return path;
}

QString withoutExtension(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    return suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
}

QString tr(const char* text) {
    return QCoreApplication::translate("talvor::TodoArchive", text);
}

QString isoDay(QDate day) {
    return day.toString(Qt::ISODate);
}

// Rich text takes only ASCII: braces and backslashes escaped, the rest as \uN? escapes.
QString rtfEscaped(const QString& text) {
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('{') || c == QLatin1Char('}')) {
            out += QLatin1Char('\\') + QString(c);
        } else if (c == QLatin1Char('\n')) {
            out += QStringLiteral("\\line ");
        } else if (c.unicode() < 128) {
            out += c;
        } else {
            out += QStringLiteral("\\u%1?").arg(static_cast<qint16>(c.unicode()));
        }
    }
    return out;
}

QString head(int format) {
    switch (format) {
        case TodoArchiveOptions::Text:
            return QString();
        case TodoArchiveOptions::Html:
            return QStringLiteral(
                       "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                       "</head><body>\n")
                .arg(tr("Finished to-do items").toHtmlEscaped());
        default:
            return QStringLiteral("{\\rtf1\\ansi\\deff0\n");
    }
}

QString foot(int format) {
    switch (format) {
        case TodoArchiveOptions::Text:
            return QString();
        case TodoArchiveOptions::Html:
            return QStringLiteral("</body></html>\n");
        default:
            return QStringLiteral("}\n");
    }
}

}  // namespace

TodoArchiveOptions TodoArchiveOptions::fromStored(const QVariantMap& stored) {
    TodoArchiveOptions o;
    o.location = expandTilde(stored.value(QStringLiteral("path")).toString());
    o.on = stored.value(QStringLiteral("state")).toBool();
    o.summary = stored.value(QStringLiteral("summary")).toBool();
    o.format = stored.value(QStringLiteral("format"), o.format).toInt();
    o.entryTemplate = stored.value(QStringLiteral("template"), o.entryTemplate).toInt();
    o.rollover = stored.value(QStringLiteral("rollover"), o.rollover).toInt();
    o.when = stored.value(QStringLiteral("when"), o.when).toInt();
    return o;
}

QString TodoArchiveOptions::extensionOf(int format) {
    return format == Text ? QStringLiteral(".txt")
                          : (format == Html ? QStringLiteral(".html") : QStringLiteral(".rtf"));
}

QString TodoArchiveOptions::pathFor(const QString& location, int format, int rollover,
                                    QDate today) {
    const QString yy = QStringLiteral("%1").arg(today.year() % 100, 2, 10, QLatin1Char('0'));
    const QString mm = QStringLiteral("%1").arg(today.month(), 2, 10, QLatin1Char('0'));
    QString suffix;
    switch (rollover) {
        case 0:
            suffix = extensionOf(format);
            break;
        case 1:
            suffix = yy + QLatin1Char('-') + mm + extensionOf(format);
            break;
        case 2:
            suffix = yy + extensionOf(format);
            break;
        default:
            break;
    }
    return withoutExtension(location) + suffix;
}

bool TodoArchive::due(int when, std::optional<QDate> last, QDate today) {
    if (when == TodoArchiveOptions::WhenCompleted || !last) {
        return true;
    }
    return last->daysTo(today) >= (when == TodoArchiveOptions::Weekly ? 7 : 1);
}

QString TodoArchive::entries(const TodoArchiveOptions& options,
                             const std::vector<FinishedTodo>& items, QDate today) {
    const bool notes = options.entryTemplate == TodoArchiveOptions::TitleAndNotes;
    const QString summary =
        tr("Archived %1: %2 finished").arg(isoDay(today)).arg(static_cast<int>(items.size()));
    QString out;
    switch (options.format) {
        case TodoArchiveOptions::Text:
            if (options.summary) {
                out += summary + QLatin1Char('\n');
            }
            for (const FinishedTodo& t : items) {
                out += QStringLiteral("- ") + t.title;
                if (t.completed) {
                    out += QStringLiteral(" (") + isoDay(*t.completed) + QLatin1Char(')');
                }
                out += QLatin1Char('\n');
                if (notes && !t.notes.isEmpty()) {
                    for (const QString& line : t.notes.split(QLatin1Char('\n'))) {
                        out += QStringLiteral("    ") + line + QLatin1Char('\n');
                    }
                }
            }
            break;
        case TodoArchiveOptions::Html:
            if (options.summary) {
                out += QStringLiteral("<h2>") + summary.toHtmlEscaped() + QStringLiteral("</h2>\n");
            }
            for (const FinishedTodo& t : items) {
                out += QStringLiteral("<p><b>") + t.title.toHtmlEscaped() + QStringLiteral("</b>");
                if (t.completed) {
                    out += QStringLiteral(" (") + isoDay(*t.completed) + QLatin1Char(')');
                }
                if (notes && !t.notes.isEmpty()) {
                    out += QStringLiteral("<br>") + t.notes.toHtmlEscaped().replace(
                                                        QLatin1Char('\n'), QStringLiteral("<br>"));
                }
                out += QStringLiteral("</p>\n");
            }
            break;
        default:
            if (options.summary) {
                out += QStringLiteral("{\\b ") + rtfEscaped(summary) + QStringLiteral("}\\par\n");
            }
            for (const FinishedTodo& t : items) {
                out += QStringLiteral("{\\b ") + rtfEscaped(t.title) + QLatin1Char('}');
                if (t.completed) {
                    out += QStringLiteral(" (") + isoDay(*t.completed) + QLatin1Char(')');
                }
                out += QStringLiteral("\\par\n");
                if (notes && !t.notes.isEmpty()) {
                    out += rtfEscaped(t.notes) + QStringLiteral("\\par\n");
                }
            }
            break;
    }
    return out;
}

TodoArchive::Result TodoArchive::append(const TodoArchiveOptions& options,
                                        const std::vector<FinishedTodo>& finished,
                                        QSet<QString>& archived, QDate today) {
    std::vector<FinishedTodo> fresh;
    for (const FinishedTodo& t : finished) {
        if (!archived.contains(t.uid)) {
            fresh.push_back(t);
        }
    }
    if (fresh.empty()) {
        return {};
    }
    const QString path = options.pathFor(today);
    QString text;
    {
        QFile old(path);
        if (old.open(QIODevice::ReadOnly)) {
            text = QString::fromUtf8(old.readAll());
        }
    }
    // New entries go before the format's foot, so that the file stays one document.
    const QString tail = foot(options.format);
    if (text.isEmpty()) {
        text = head(options.format) + tail;
    }
    const qsizetype at = tail.isEmpty() ? text.size() : text.lastIndexOf(tail.trimmed());
    text.insert(at < 0 ? text.size() : at, entries(options, fresh, today));

    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        return {0,
                tr("The to-do archive %1 could not be written: %2").arg(path, file.errorString())};
    }
    for (const FinishedTodo& t : fresh) {
        archived.insert(t.uid);
    }
    return {static_cast<int>(fresh.size()), std::nullopt};
}

}  // namespace talvor
