#pragma once

#include <QHash>
#include <QImage>
#include <QString>

#include <optional>

namespace talvor {

// The countries the program knows by name, with their ISO codes, calling codes and flags:
// the table "CountryCode.plist" and the square SVG flags "Flags/<ISO>.svg" installed with
// the program (made by tools/make-flags). Read once, on first use.
class CountryFlags {
  public:
    struct Country {
        QString iso;    // "FR"
        QString name;   // the table's own name, "France"
        QString phone;  // the calling code, "+33"
    };

    // `folder`: where the table and the flags are; the installed data folder when empty.
    explicit CountryFlags(const QString& folder = QString());
    // The installed table and flags; main thread only.
    static const CountryFlags& shared();

    // A country by any of its names ("USA", "united kingdom") or by its ISO code.
    std::optional<Country> country(const QString& nameOrCode) const;
    // The flag file of a country; none when the country or its flag is unknown.
    std::optional<QString> flagPath(const QString& nameOrCode) const;
    // An SVG flag drawn square, `pixels` on a side; null for a file that is no SVG.
    static QImage drawFlag(const QString& svgPath, int pixels);

    qsizetype size() const { return byName_.size(); }

  private:
    QString folder_;
    QHash<QString, Country> byName_;  // lower-case names and codes
};

}  // namespace talvor
