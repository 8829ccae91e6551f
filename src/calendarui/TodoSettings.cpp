#include "TodoSettings.h"

#include "foundation/ColorExtras.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>

namespace talvor::TodoSettings {

const std::array<Priority, 4>& priorities() {
    static const std::array<Priority, 4> all = {{
        {"9", QT_TRANSLATE_NOOP("talvor::TalvorTodoViewController", "Hot"), QColor(220, 50, 47)},
        {"5", QT_TRANSLATE_NOOP("talvor::TalvorTodoViewController", "Warm"), QColor(230, 150, 30)},
        {"1", QT_TRANSLATE_NOOP("talvor::TalvorTodoViewController", "Cold"), QColor(40, 110, 210)},
        {"0", QT_TRANSLATE_NOOP("talvor::TalvorTodoViewController", "None"), QColor(120, 120, 120)},
    }};
    return all;
}

QString levelOf(int filePriority) {
    if (filePriority >= 1 && filePriority <= 4) {
        return QStringLiteral("9");
    }
    if (filePriority == 5) {
        return QStringLiteral("5");
    }
    if (filePriority >= 6 && filePriority <= 9) {
        return QStringLiteral("1");
    }
    return QStringLiteral("0");
}

namespace {

const Priority* find(const QString& level) {
    for (const Priority& p : priorities()) {
        if (level == QLatin1String(p.key)) {
            return &p;
        }
    }
    return nullptr;
}

}  // namespace

QString text(const QString& level, const platform::UserDefaults& defaults) {
    const QVariantMap stored = defaults.objectForKey(kPriorityText).toMap();
    if (stored.contains(level)) {
        return stored.value(level).toString();
    }
    const Priority* p = find(level);
    return p ? QCoreApplication::translate("talvor::TalvorTodoViewController", p->title)
             : QString();
}

QColor colour(const QString& level, const platform::UserDefaults& defaults) {
    const QVariantMap stored = defaults.objectForKey(kPriorityColors).toMap();
    if (const std::optional<QColor> c = ColorExtras::color(stored.value(level).toByteArray())) {
        return *c;
    }
    const Priority* p = find(level);
    return p ? p->colour : QColor();
}

int iconTag(const platform::UserDefaults& defaults) {
    const QVariant stored = defaults.objectForKey(kPrefsIcon);
    const int tag = stored.isValid() ? stored.toInt() : 1;
    return tag >= 1 && tag <= 3 ? tag : 1;
}

QString iconGlyph(int tag) {
    switch (tag) {
        case 2:
            return QStringLiteral("\u2630");  // a list
        case 3:
            return QStringLiteral("\u270E");  // a note
        default:
            return QStringLiteral("\u2713");  // a check mark
    }
}

QIcon icon(int tag) {
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    QFont font = painter.font();
    font.setPixelSize(26);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(picture.rect(), Qt::AlignCenter, iconGlyph(tag));
    painter.end();
    return QIcon(picture);
}

}  // namespace talvor::TodoSettings
