#include "DesktopEntryFile.h"

#include "AtomicFile.h"
#include "BoundedFile.h"
#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace talvor::platform::DesktopEntryFile {
namespace {

QString escapeValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
            case '\\':
                out += QStringLiteral("\\\\");
                break;
            case '\n':
                out += QStringLiteral("\\n");
                break;
            case '\t':
                out += QStringLiteral("\\t");
                break;
            case '\r':
                out += QStringLiteral("\\r");
                break;
            default:
                out += c;
        }
    }
    // A leading blank would be trimmed by readers.
    if (out.startsWith(QLatin1Char(' '))) {
        out.replace(0, 1, QStringLiteral("\\s"));
    }
    return out;
}

QString unescapeValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
            case 's':
                out += QLatin1Char(' ');
                break;
            case 'n':
                out += QLatin1Char('\n');
                break;
            case 't':
                out += QLatin1Char('\t');
                break;
            case 'r':
                out += QLatin1Char('\r');
                break;
            case '\\':
                out += QLatin1Char('\\');
                break;
            default:
                out += QLatin1Char('\\');
                out += next;
        }
    }
    return out;
}

QString xdgParent(const QString& appFolder) {
    return QFileInfo(appFolder).path();
}

}  // namespace

QString autostartFolder() {
    return xdgParent(Paths::configDir()) + QStringLiteral("/autostart");
}

QString applicationsFolder() {
    return xdgParent(Paths::dataDir()) + QStringLiteral("/applications");
}

QString quoteExecArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString escaped = argument;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument) {
        needsQuotes = needsQuotes || reserved.contains(c);
    }
    if (!needsQuotes) {
        return escaped;
    }
    QString out = QStringLiteral("\"");
    for (const QChar c : escaped) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            out += QLatin1Char('\\');
        }
        out += c;
    }
    return out + QLatin1Char('"');
}

QStringList splitExec(const QString& exec) {
    QStringList args;
    QString current;
    bool inArg = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            // A backslash, or the first of two percent signs, takes the next character literally.
            if ((c == QLatin1Char('\\') && i + 1 < exec.size()) ||
                (c == QLatin1Char('%') && i + 1 < exec.size() &&
                 exec.at(i + 1) == QLatin1Char('%'))) {
                current += exec.at(++i);
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                current += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            inArg = true;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inArg) {
                args.append(current);
                current.clear();
                inArg = false;
            }
        } else if (c == QLatin1Char('%') && i + 1 < exec.size()) {
            const QChar code = exec.at(++i);
            if (code == QLatin1Char('%')) {
                current += code;
                inArg = true;
            }
        } else {
            current += c;
            inArg = true;
        }
    }
    if (inArg) {
        args.append(current);
    }
    return args;
}

std::optional<QMap<QString, QString>> read(const QString& path) {
    const BoundedRead read = readRegularFile(path, kSmallFileCap);
    if (!read.bytes) {
        return std::nullopt;
    }
    QMap<QString, QString> keys;
    bool inGroup = false;
    bool found = false;
    const QStringList lines = QString::fromUtf8(*read.bytes).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QStringLiteral("[Desktop Entry]");
            found = found || inGroup;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inGroup && eq > 0) {
            keys.insert(line.left(eq).trimmed(), unescapeValue(line.mid(eq + 1).trimmed()));
        }
    }
    if (!found) {
        return std::nullopt;
    }
    return keys;
}

bool write(const QString& path, const QList<QPair<QString, QString>>& entries, QString* error) {
    if (!QDir().mkpath(QFileInfo(path).path())) {
        if (error != nullptr) {
            *error = QStringLiteral("cannot create %1").arg(QFileInfo(path).path());
        }
        return false;
    }
    QString text = QStringLiteral("[Desktop Entry]\n");
    for (const auto& [key, value] : entries) {
        text += key + QLatin1Char('=') + escapeValue(value) + QLatin1Char('\n');
    }
    return writeFileAtomically(path, text.toUtf8(), error);
}

}  // namespace talvor::platform::DesktopEntryFile
