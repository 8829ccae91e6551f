#include "MenuItemExtras.h"

#include "StringWithMaxLength.h"

#include <QApplication>

namespace talvor::MenuItemExtras {
namespace {

constexpr std::int32_t kSubtitleWidth = 125;

QFont menuFont(double pointSize) {
    QFont font = QApplication::font("QMenu");
    font.setPointSizeF(pointSize);
    return font;
}

// Made once for the process.
const platform::TextAttributes& titleAttributes() {
    static const platform::TextAttributes attributes = [] {
        platform::TextAttributes a;
        a.font = menuFont(14);
        return a;
    }();
    return attributes;
}

const platform::TextAttributes& subtitleAttributes() {
    static const platform::TextAttributes attributes = [] {
        platform::TextAttributes a;
        a.font = menuFont(10);
        a.obliqueness = 0.3;
        return a;
    }();
    return attributes;
}

}  // namespace

void setTitle(platform::MenuItem& item, const QString& title, const QString& subtitle) {
    if (subtitle.isEmpty()) {
        item.setTitle(title);
        return;
    }
    platform::AttributedString styled(title, titleAttributes());
    styled.append(
        QStringLiteral(" ") + stringWithMaxLength(subtitle, kSubtitleWidth, subtitleAttributes()),
        subtitleAttributes());
    item.setAttributedTitle(styled);
}

}  // namespace talvor::MenuItemExtras
