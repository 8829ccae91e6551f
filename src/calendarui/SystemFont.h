#pragma once

#include <QFont>
#include <QFontDatabase>

namespace talvor {

// The desktop's general font at a size, bold where asked: the calendars' titles and numbers.
inline QFont systemFont(double size, bool bold = false) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(size);
    font.setBold(bold);
    return font;
}

}  // namespace talvor
