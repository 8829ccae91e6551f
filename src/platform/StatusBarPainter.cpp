#include "StatusBarPainter.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace talvor::platform {

StatusBarStyle defaultStatusBarStyle() {
    StatusBarStyle style;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        style.font = QGuiApplication::font();
    }
    style.font.setPointSizeF(14.0);
    return style;
}

namespace {

QSizeF imageSize(const QImage& image, double thickness) {
    if (image.isNull()) {
        return {0, 0};
    }
    QSizeF size = image.deviceIndependentSize();
    if (size.height() > thickness) {
        size *= thickness / size.height();
    }
    return size;
}

struct Content {
    QSizeF image;
    TextMetrics title;
    double width = 0;
};

Content measureContent(const StatusItem& item, const StatusBarStyle& style, double thickness) {
    Content c;
    c.image = imageSize(item.image(), thickness);
    if (!item.attributedTitle().isEmpty()) {
        c.title = measureAttributedString(item.attributedTitle(), {style.font, style.text});
    }
    c.width = c.image.width() + c.title.width;
    if (!c.image.isEmpty() && c.title.width > 0) {
        c.width += style.imageGap;
    }
    return c;
}

double barThickness(const StatusItem& item) {
    return item.statusBar() != nullptr ? item.statusBar()->thickness() : StatusBarThickness;
}

}  // namespace

double statusItemWidth(const StatusItem& item, const StatusBarStyle& style) {
    const double length = item.length();
    if (length >= 0) {
        return length;
    }
    if (length == SquareStatusItemLength) {
        return barThickness(item);
    }
    if (item.view()) {
        return std::max(0.0, item.view()->width());
    }
    const Content c = measureContent(item, style, barThickness(item));
    if (c.width <= 0) {
        return 0;
    }
    return std::ceil(c.width + 2 * style.itemPadding);
}

std::vector<PlacedStatusItem> layoutStatusBar(const StatusBar& statusBar, const QRectF& bar,
                                              const StatusBarStyle& style) {
    std::vector<PlacedStatusItem> placed;
    double right = bar.right() - style.margin;
    for (const auto& item : statusBar.statusItems()) {
        const double w = statusItemWidth(*item, style);
        if (w <= 0) {
            continue;
        }
        placed.push_back({item.get(), QRectF(right - w, bar.top(), w, bar.height())});
        right -= w;
    }
    return placed;
}

double naturalStatusBarWidth(const StatusBar& statusBar, const StatusBarStyle& style) {
    double width = 2 * style.margin;
    for (const auto& item : statusBar.statusItems()) {
        width += std::max(0.0, statusItemWidth(*item, style));
    }
    return width;
}

void paintStatusBarBackground(QPainter& painter, const QRectF& bar, const StatusBarStyle& style) {
    painter.fillRect(bar, style.background);
    painter.fillRect(QRectF(bar.left(), bar.bottom() - 1, bar.width(), 1), style.border);
}

void paintStatusItem(QPainter& painter, const StatusItem& item, const QRectF& rect,
                     const StatusBarStyle& style) {
    painter.save();
    painter.setClipRect(rect);
    painter.translate(rect.topLeft());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds(0, 0, rect.width(), rect.height());

    if (item.view()) {
        item.view()->drawRect(painter, bounds);
        painter.restore();
        return;
    }
    if (item.highlightMode() && item.isHighlighted()) {
        QPainterPath path;
        path.addRoundedRect(bounds.adjusted(0, 2, 0, -3), 4, 4);
        painter.fillPath(path, style.highlight);
    }

    const Content c = measureContent(item, style, rect.height());
    double x = (bounds.width() - c.width) / 2;
    if (item.alignment() & Qt::AlignLeft) {
        x = style.itemPadding;
    } else if (item.alignment() & Qt::AlignRight) {
        x = bounds.width() - style.itemPadding - c.width;
    }
    // The button frame's origin counts y upwards, as the original system's does.
    const QPointF shift(item.buttonFrame().x(), -item.buttonFrame().y());
    // Whole pixels keep text crisp and its shadow where the text is.
    x = std::round(x + shift.x());
    if (!c.image.isEmpty()) {
        const QRectF target(x, (bounds.height() - c.image.height()) / 2 + shift.y(),
                            c.image.width(), c.image.height());
        painter.drawImage(target, item.image());
        x += c.image.width() + style.imageGap;
    }
    if (c.title.width > 0) {
        const double baseline =
            std::round((bounds.height() - c.title.height()) / 2 + c.title.ascent) + shift.y();
        drawAttributedString(painter, item.attributedTitle(), QPointF(x, baseline),
                             {style.font, style.text});
    }
    painter.restore();
}

StatusItemPress pressStatusItem(StatusItem& item, const StatusItemMouseEvent& event) {
    if (const auto view = item.view()) {
        view->mouseDown(event);
        return StatusItemPress::View;
    }
    if (item.menu()) {
        return StatusItemPress::OpenMenu;
    }
    if (item.hasAction()) {
        item.setHighlighted(true);
        return StatusItemPress::TrackClick;
    }
    return StatusItemPress::None;
}

void releaseStatusItem(StatusItem& item, StatusItemPress press, const StatusItemMouseEvent& event,
                       bool inside) {
    switch (press) {
        case StatusItemPress::View:
            if (const auto view = item.view()) {
                view->mouseUp(event);
            }
            break;
        case StatusItemPress::TrackClick:
            item.setHighlighted(false);
            if (inside) {
                item.performClick(event.modifiers);
            }
            break;
        case StatusItemPress::None:
        case StatusItemPress::OpenMenu:
            break;
    }
}

}  // namespace talvor::platform
