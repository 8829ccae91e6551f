#pragma once

// Lets GoogleTest print Qt values in failure messages.
#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}

inline void PrintTo(const QVariant& v, std::ostream* os) {
    if (!v.isValid()) {
        *os << "(invalid)";
        return;
    }
    *os << v.typeName() << ' ' << v.toString().toStdString();
}

inline void PrintTo(const QPoint& p, std::ostream* os) {
    *os << '(' << p.x() << ", " << p.y() << ')';
}

inline void PrintTo(const QPointF& p, std::ostream* os) {
    *os << '(' << p.x() << ", " << p.y() << ')';
}

inline void PrintTo(const QRectF& r, std::ostream* os) {
    *os << '(' << r.x() << ", " << r.y() << ' ' << r.width() << 'x' << r.height() << ')';
}
