#pragma once

#include "TokenString.h"
#include "platform/Date.h"

#include <QList>
#include <QString>
#include <QTimeZone>

#include <variant>
#include <vector>

namespace talvor {

// An object of a custom format field: a token, or text the user typed.
using FormatObject = std::variant<TokenString, QString>;

// One alternative of a token's menu: its title, and the pattern the token takes.
struct FormatAlternative {
    QString title;
    QString pattern;
};

// A source field of a composer: it shows `now` through `pattern`; dragged into the custom
// field it becomes a token of that pattern with the menu `menuType` (-1: none).
struct FormatTokenSource {
    QString id;  // the source field's object name
    QString label;
    QString pattern;
    qint32 menuType = -1;
    std::vector<FormatAlternative> alternatives;

    // The token this source makes, showing `sample`.
    TokenString token(const QString& sample) const {
        return TokenString{sample, menuType, alternatives.empty() ? 0 : 1, pattern};
    }
};

// The source fields of the time composers (the time item and the location lines): hour,
// am/pm, minute, time zone, second, fraction of a second; the alternatives' titles are
// rendered at `now` (the hour's are ranges, "01-12").
std::vector<FormatTokenSource> timeTokenSources(Date now, const QTimeZone& zone);
// The ten source fields of the date composer.
std::vector<FormatTokenSource> dateTokenSources(Date now, const QTimeZone& zone);

// A time pattern composed object by object: a token gives its own pattern (one without a
// pattern gives nothing), typed text is taken as it stands (its letters act as pattern
// letters), without "," and "'".
QString composeTimePattern(const QList<FormatObject>& objects);
// A composite date format: each token's pattern and each typed text, each followed by the
// piece marker; a token without a pattern gives nothing.
QString composeDatePattern(const QList<FormatObject>& objects);

// `now` through a composed time pattern, without "%".
QString previewTimePattern(const QString& pattern, Date now, const QTimeZone& zone);
// `now` through a composite date format: pieces in `formatArr` rendered (without "%"),
// other pieces as they stand; "[ " and " ]" closed up.
QString previewDatePattern(const QString& composite, Date now, const QTimeZone& zone);

}  // namespace talvor
