#pragma once

#include <QString>

#include <optional>

namespace talvor {

namespace platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace platform

// One token of a format token field: the text it shows, the pattern it stands for, and
// which menu of alternatives it offers (the pane that builds the tokens gives the numbers
// their meaning; -1: no menu). The pattern is the token's own: two tokens that happen to
// show the same text ("3" for the hour and for the minute) keep their own patterns. Only
// the name is archived.
struct TokenString {
    QString name;
    qint32 MenuType = 0;
    qint32 hasMenu = 0;
    QString pattern{};

    static QString archiveClassName() { return QStringLiteral("TokenString"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::optional<TokenString> initWithCoder(const platform::KeyedUnarchiver& coder);
};

}  // namespace talvor
