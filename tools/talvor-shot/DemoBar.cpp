#include "DemoBar.h"

#include "platform/StatusBarPainter.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace talvor::shot {
namespace {

using namespace platform;

QImage clockIcon(int hour, int minute) {
    QImage image(18, 18, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.2));
    p.drawEllipse(QRectF(1, 1, 16, 16));
    const QPointF c(9, 9);
    auto hand = [&](double degrees, double length, double width) {
        const double a = (90 - degrees) * std::numbers::pi / 180;
        p.setPen(QPen(Qt::black, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c, c + QPointF(std::cos(a) * length, -std::sin(a) * length));
    };
    hand(minute * 6.0, 6.5, 1.0);
    hand((hour % 12) * 30.0 + minute * 0.5, 4.5, 1.5);
    return image;
}

QImage appIcon() {
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(40, 120, 220));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(5, 5, 6, 6));
    return image;
}

// The date item's kind of view: a moon picture and the date text beside it.
class DemoDateView : public StatusItemView {
  public:
    explicit DemoDateView(AttributedString text) : text_(std::move(text)) {
        const TextMetrics m =
            measureAttributedString(text_, {defaultStatusBarStyle().font, Qt::black});
        setWidth(std::ceil(m.width) + 32);
    }
    void drawRect(QPainter& p, const QRectF& bounds) override {
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF moon(6, (bounds.height() - 14) / 2, 14, 14);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 60, 60));
        p.drawEllipse(moon);
        QPainterPath lit;
        lit.addEllipse(moon);
        QPainterPath shade;
        shade.addEllipse(moon.translated(-5, 0));
        p.fillPath(lit.subtracted(shade), QColor(250, 240, 200));
        const TextMetrics m =
            measureAttributedString(text_, {defaultStatusBarStyle().font, Qt::black});
        drawAttributedString(p, text_,
                             QPointF(24, std::round((bounds.height() - m.height()) / 2 + m.ascent)),
                             {defaultStatusBarStyle().font, Qt::black});
    }

  private:
    AttributedString text_;
};

}  // namespace

std::unique_ptr<DemoBar> makeDemoBar() {
    auto demo = std::make_unique<DemoBar>();
    const QFont font = defaultStatusBarStyle().font;

    demo->apps = demo->bar.statusItemWithLength(VariableStatusItemLength);
    demo->apps->setImage(appIcon());

    demo->date = demo->bar.statusItemWithLength(VariableStatusItemLength);
    TextAttributes dateStyle;
    dateStyle.font = font;
    dateStyle.shadow = TextShadow{{2.0, -2.0}, 0.5, QColor(0, 0, 0, 85)};
    demo->date->setView(
        std::make_shared<DemoDateView>(AttributedString(QStringLiteral("Mon 12 May"), dateStyle)));

    demo->time = demo->bar.statusItemWithLength(VariableStatusItemLength);
    TextAttributes timeStyle;
    timeStyle.font = font;
    timeStyle.foregroundColor = QColor(20, 20, 20);
    demo->time->setAttributedTitle(AttributedString(QStringLiteral("12:00:01 PM"), timeStyle));
    demo->time->setImage(clockIcon(12, 0));
    demo->time->setAlignment(Qt::AlignRight);
    demo->time->setHighlightMode(true);

    auto menu = Menu::create(QStringLiteral("Time"));
    auto noop = [](MenuItem&) {};
    menu->addItemWithTitle(QStringLiteral("Copy IP Address"), noop)->setTag(1001);
    menu->addItem(MenuItem::separatorItem());
    auto alarms = Menu::create(QStringLiteral("Alarms"));
    TextAttributes small;
    small.font = QFont(font.family(), 10);
    small.obliqueness = 0.3;
    AttributedString wake(QStringLiteral("Wake up "));
    wake.append(QStringLiteral("Mon, 7:00 AM"), small);
    alarms->addItemWithTitle(QString(), noop)->setAttributedTitle(wake);
    alarms->addItemWithTitle(QStringLiteral("Create alarm..."), noop);
    auto alarmItem = menu->addItemWithTitle(QStringLiteral("Alarms..."));
    alarmItem->setTag(2001);
    alarmItem->setSubmenu(alarms);
    menu->addItem(MenuItem::separatorItem());
    for (const auto& [city, when] :
         {std::pair{"Paris", "6:00 PM"}, std::pair{"Tokyo", "1:00 AM"}}) {
        TextAttributes place;
        place.foregroundColor = QColor(20, 80, 160);
        AttributedString line(QString::fromLatin1(city) + QStringLiteral("  "), place);
        line.append(QString::fromLatin1(when));
        auto item = menu->addItemWithTitle(QString(), noop);
        item->setAttributedTitle(line);
        item->setTag(-96);
    }
    menu->addItemWithTitle(QStringLiteral("Add Location..."), noop)->setTag(-96);
    menu->addItem(MenuItem::separatorItem());
    auto floating = menu->addItemWithTitle(QStringLiteral("Floating Clocks\u2026"), noop);
    floating->setTag(-87);
    floating->setState(ControlState::On);
    menu->addItemWithTitle(QStringLiteral("Count Down..."), noop)->setTag(-84);
    menu->addItemWithTitle(QStringLiteral("Light/Dark Mode..."))->setTag(-1050);
    menu->addItem(MenuItem::separatorItem());
    menu->addItemWithTitle(QStringLiteral("Settings..."), noop, QStringLiteral(","));
    menu->addItemWithTitle(QStringLiteral("Help/Manual..."), noop);
    menu->addItemWithTitle(QStringLiteral("Quit Talvor"), noop, QStringLiteral("q"));
    demo->time->setMenu(menu);
    demo->timeMenu = menu;
    return demo;
}

}  // namespace talvor::shot
