#pragma once

#include "platform/Date.h"

#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <optional>

namespace talvor {

// The marker between the pieces of a composite date format ("EEEE$*&, $*&yyyy$*&").
inline const QString kFormatPieceMarker = QStringLiteral("$*&");

// The field patterns a piece of a composite date format may name (`formatArr`): such a
// piece is rendered, any other is literal text. A constant, the same for every window.
const QStringList& formatArr();

// A list of menu-bar formats kept in a property list (an array of strings): the time list
// "TimeFormats.plist" and the date list "DateFormats.plist". An entry that begins with "-"
// is a separator row; any other is a pattern, or for dates a composite of pieces.
//
// Read from the user's copy (the data folder), else the system-wide one (share/talvor),
// else the built-in list; written only to the user's copy, which the first change makes.
class FormatList {
  public:
    enum class Kind { Time, Date };

    // "TimeFormats.plist" or "DateFormats.plist".
    static QString fileName(Kind kind);
    static QString userPath(Kind kind);
    static QString systemPath(Kind kind);
    // The list shipped with the program, used when no file can be read.
    static const QStringList& builtIn(Kind kind);

    // The entries of the property list at `path`; none when the file is missing or is not an
    // array of strings (said in one log line, except for a missing file).
    static std::optional<QStringList> readFile(const QString& path);

    // The first readable list: the user's, the system-wide one, the built-in one.
    static FormatList load(Kind kind);

    Kind kind() const { return kind_; }
    const QStringList& entries() const { return entries_; }
    // Where the entries were read from; empty for the built-in list.
    const QString& source() const { return source_; }

    static bool isSeparator(const QString& entry) { return entry.startsWith(QLatin1Char('-')); }

    // The pattern at a pop-up index (`translateDateFormatStr`): an index past the end gives
    // entry 0, an empty list (or a negative index) gives `fallback`.
    static QString translateDateFormatStr(int index, const QStringList& list,
                                          const QString& fallback);
    // The pop-up index to select for `pattern`: its first entry, else the last item; none for
    // an empty list.
    static std::optional<int> indexOfPattern(const QStringList& list, const QString& pattern);
    // The pattern entry nearest to `index` (itself when it is one, else the next one below,
    // else the next one above); none when the list holds no pattern.
    static std::optional<int> nearestPattern(const QStringList& list, int index);

    // Appends `pattern` and writes the list to the user's copy. On a failed write the list
    // stays as it was and `error` says why. An empty pattern or separator is refused.
    bool add(const QString& pattern, QString* error = nullptr);
    // Removes the entry at `index` and writes the list. Refused (false) for an index out of
    // range, for the last pattern of the list, or when the write fails; the list then stays
    // as it was.
    bool remove(int index, QString* error = nullptr);

  private:
    bool write(const QStringList& entries, QString* error);

    Kind kind_ = Kind::Time;
    QStringList entries_;
    QString source_;
};

// What a pop-up shows for an entry at `now`: the time list formats the entry whole; the
// date list renders a composite piece by piece (a piece in `formatArr` formatted, any other
// as it stands). "AM."/"PM." become "a.m."/"p.m."; a separator shows as it is written.
QString renderFormatEntry(FormatList::Kind kind, const QString& entry, Date now,
                          const QTimeZone& zone);

// `now` through one UTS #35 pattern; "" for a pattern ICU refuses.
QString formatWithPattern(const QString& pattern, Date now, const QTimeZone& zone);

}  // namespace talvor
