#pragma once

#include "platform/Date.h"

#include <QByteArray>
#include <QString>
#include <QTimeZone>

#include <map>
#include <memory>
#include <utility>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class SimpleDateFormat;
U_NAMESPACE_END

namespace talvor {

// ICU formatters of UTS #35 patterns, made once per pattern and zone and kept: the clocks
// format every second, and making a formatter costs far more than using one.
class DateFormatterCache {
  public:
    DateFormatterCache();
    ~DateFormatterCache();
    DateFormatterCache(const DateFormatterCache&) = delete;
    DateFormatterCache& operator=(const DateFormatterCache&) = delete;

    // `date` in `zone` through `pattern`; empty for a pattern ICU refuses.
    QString format(const QString& pattern, const QTimeZone& zone, Date date);

    // Formatters made so far, refused patterns included; texts formatted so far.
    int createdCount() const { return created_; }
    int formattedCount() const { return formatted_; }
    void clear();

  private:
    // Patterns change only when the user edits them; the bound keeps edits from piling up
    // while holding every zone of a large set of clocks.
    static constexpr std::size_t kMaxFormatters = 1024;
    std::map<std::pair<QString, QByteArray>, std::unique_ptr<icu::SimpleDateFormat>> formatters_;
    int created_ = 0;
    int formatted_ = 0;
};

// A UTS #35 pattern that may hold the calendar-format escapes %W and %Z, with the week
// number and a zone abbreviation put in as literal text (quoted, so that the abbreviation's
// letters are not read as pattern letters).
QString patternWithWeekAndZone(const QString& pattern, int week, const QString& abbreviation);

}  // namespace talvor
