#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace talvor::Talvortsv {

// The lines of `text` without their terminators: line feed, carriage return, carriage return
// + line feed (one terminator), next line, and the Unicode line and paragraph separators.
// A final terminator does not start an empty last line.
QStringList vltComponentsSeparatedByLineSeparators(const QString& text);

// Comma-separated text (no quoting: every comma splits; empty lines and lines beginning
// with "#" are skipped). The first line gives the keys; each later line gives a dictionary
// of its non-empty fields under their keys, kept when not empty.
QList<QVariantMap> arrayFromCSV(const QString& text);

// Each line gives a dictionary of its non-empty fields under their 1-based positions ("1",
// "2", ...), with double quotes removed; kept when not empty.
QList<QVariantMap> vltarrayIndexFromCSV(const QString& text);

// Tab-separated reading is not offered: always empty.
QList<QVariantMap> arrayFromTSV(const QString& text);

}  // namespace talvor::Talvortsv
