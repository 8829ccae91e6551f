#pragma once

#include "platform/Date.h"

#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <map>
#include <memory>
#include <set>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class SimpleDateFormat;
U_NAMESPACE_END

namespace talvor {

// The 31 date patterns that a composite date format may name as pieces.
const QStringList& dateFormatTokens();

// Makes the menu-bar texts of the time and date items: UTS #35 patterns through ICU with
// the system's zone rules, formatters made once per pattern and zone, not per second.
class TimeDateText {
  public:
    // A stored pattern in the old percent style is shown with these instead.
    static QString repairedTimePattern(const QString& pattern);
    static QString repairedDatePattern(const QString& pattern);

    // The time item's text: "AM."/"PM." become "a.m."/"p.m."; every ":" shows `separator`
    // (":" when empty), and with `flashSeparator` it is as many blanks at odd seconds. A
    // pattern that shows nothing (empty, blank, refused by ICU) gives the default pattern's
    // text, and says so once.
    QString timeText(const QString& pattern, Date now, const QTimeZone& zone, bool flashSeparator,
                     const QString& separator = QStringLiteral(":"));
    // The date item's text. A format holding "$*&" is a list of pieces: a piece that is one
    // of the date-format tokens is formatted alone, any other is copied as it stands. A format
    // that shows nothing gives the default's text, as for the time.
    QString dateText(const QString& format, Date now, const QTimeZone& zone);

    // `now` through a UTS #35 pattern in `zone`; "" for a pattern ICU refuses.
    QString format(const QString& pattern, Date now, const QTimeZone& zone);

    // Drops the formatters (after a zone change).
    void reset() { formatters_.clear(); }

  private:
    QString shownOrDefault(QString text, const QString& pattern, const char* what,
                           const QString& fallback, Date now, const QTimeZone& zone);

    std::set<QString> reportedBlank_;
    std::map<std::pair<QString, QByteArray>, std::shared_ptr<icu::SimpleDateFormat>> formatters_;
};

// Whether the minute changed between two ticks (a late or skipped tick still counts).
bool minuteChanged(Date previousTick, Date now);

}  // namespace talvor
