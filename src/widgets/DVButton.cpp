#include "DVButton.h"

#include "NamedColors.h"
#include "foundation/FoundationKeys.h"
#include "platform/UserDefaults.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace talvor {

DVButton::DVButton(const QString& title, QWidget* parent) : QPushButton(title, parent) {
    awakeFromNib();
}

void DVButton::setTextColor(const QColor& color) {
    textColor_ = color;
    update();
}

void DVButton::setBackgroundColor(const QColor& color) {
    backgroundColor_ = color;
    update();
}

bool DVButton::isDarkAppearance() {
    const QVariant style =
        platform::UserDefaults::standard().objectForKey(keys::AppleInterfaceStyle);
    return style.typeId() == QMetaType::QString;
}

void DVButton::awakeFromNib() {
    textColor_ = isDarkAppearance() ? QColor(Qt::white) : QColor(Qt::black);
}

void DVButton::paintEvent(QPaintEvent*) {
    awakeFromNib();
    if (isDarkAppearance()) {
        setFlat(true);
        const bool keep = backgroundColor_ == NamedColors::lightGrayColor() ||
                          !backgroundColor_.isValid() || backgroundColor_.alpha() == 0;
        if (!keep) {
            backgroundColor_ = QColor(Qt::transparent);
        }
    }
    QPainter painter(this);
    if (backgroundColor_.isValid() && backgroundColor_.alpha() > 0) {
        painter.fillRect(rect(), backgroundColor_);
    }
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    if (!isFlat()) {
        style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
    }
    const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.setFont(font());
    painter.setPen(textColor_);
    painter.drawText(contents, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, text());
}

}  // namespace talvor
