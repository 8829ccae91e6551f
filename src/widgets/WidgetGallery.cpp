#include "WidgetGallery.h"

#include "BezierExtras.h"
#include "CalFieldCell.h"
#include "ColorWellCell.h"
#include "ColoredView.h"
#include "CustomDateStatusItemButton.h"
#include "DVButton.h"
#include "DeletableTableView.h"
#include "DoubleSlider.h"
#include "ImageAndTextCell.h"
#include "OnlyIntegerValueFormatter.h"
#include "RenderDot.h"
#include "SeparatorCell.h"
#include "ShadowView.h"
#include "TalvorTintedImage.h"
#include "TalvorUtil.h"
#include "URLTextField.h"
#include "vltDragFileTextField.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include <functional>

namespace talvor {
namespace {

class PaintedSample : public QWidget {
  public:
    PaintedSample(QSize size, std::function<void(QPainter&)> paint) : paint_(std::move(paint)) {
        setFixedSize(size);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        paint_(painter);
    }

  private:
    std::function<void(QPainter&)> paint_;
};

QGroupBox* group(const QString& title, QWidget* content) {
    auto* box = new QGroupBox(title);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(content);
    return box;
}

QWidget* pathsSample() {
    return new PaintedSample(QSize(300, 70), [](QPainter& p) {
        const QColor blue(30, 136, 229);
        p.fillPath(BezierExtras::bezierPathWithRoundRectInRect(QRectF(8, 10, 12, 40), 10), blue);
        p.fillPath(BezierExtras::bezierPathWithRoundRectInRect(QRectF(30, 10, 60, 40), 8, true,
                                                               true, true, false),
                   blue);
        p.fillPath(
            BezierExtras::bezierPathWithEventInRect(QRectF(100, 20, 90, 18), 4, true, true, 0),
            QColor(67, 160, 71));
        p.fillPath(
            BezierExtras::bezierPathWithEventInRect(QRectF(200, 20, 90, 18), 4, true, false, 6),
            QColor(229, 57, 53));
    });
}

QImage sampleIcon() {
    QImage icon(40, 40, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::white);
    p.setPen(QPen(Qt::black, 2));
    p.drawEllipse(QRectF(3, 3, 34, 34));
    p.setBrush(Qt::black);
    p.drawPolygon(QPolygonF{QPointF(20, 8), QPointF(24, 20), QPointF(16, 20)});
    return icon;
}

QWidget* tintSample() {
    return new PaintedSample(QSize(160, 50), [](QPainter& p) {
        const QImage icon = sampleIcon();
        p.drawImage(QPointF(5, 5), icon);
        p.drawImage(QPointF(55, 5), TalvorTintedImage::tintedImageWithColor(icon, Qt::red));
        p.drawImage(QPointF(105, 5),
                    TalvorTintedImage::tintedImageWithColor(icon, QColor(0, 0, 255, 128)));
    });
}

QWidget* viewsSample() {
    auto* host = new QWidget;
    host->setFixedSize(300, 90);
    host->setAutoFillBackground(true);
    QPalette palette = host->palette();
    palette.setColor(QPalette::Window, QColor(236, 236, 236));
    host->setPalette(palette);
    auto* card = new ColoredView(host);
    card->setGeometry(15, 15, 120, 60);
    card->setBackgroundColor(QColor(255, 248, 225));
    card->setCornerRadius(8);
    new ShadowView(card);
    card->raise();
    auto* bordered = new ColoredView(host);
    bordered->setGeometry(160, 10, 130, 70);
    bordered->setLeftMargin(10);
    bordered->setBackgroundColor(Qt::white);
    bordered->addBorderPoint(QPointF(30, 60), QPointF(70, 20), true, true);
    return host;
}

QWidget* dotsSample() {
    return new PaintedSample(QSize(300, 40), [](QPainter& p) {
        for (int n = 1; n <= kDotColorCount; ++n) {
            const float x = 8.0f + (n - 1) * 36.0f;
            p.fillRect(QRectF(x - 2, 4, 11, 11), QColor(120, 120, 120));
            renderDot(p, static_cast<std::uint32_t>(n), true, x + 1, 12);
            renderDot(p, static_cast<std::uint32_t>(n), false, x + 1, 27);
            renderBigDot(p, n, x + 13, 22);
        }
    });
}

QWidget* colorWellsSample() {
    return new PaintedSample(QSize(300, 34), [](QPainter& p) {
        const auto draw = [&](double x, const QVariant& value, bool on, bool square, bool big,
                              bool enabled) {
            ColorWellCell cell;
            cell.setObjectValue(value);
            cell.setState(on);
            cell.setUseSquareHighlight(square);
            cell.setUseBigDot(big);
            cell.setEnabled(enabled);
            cell.drawInteriorWithFrame(p, QRectF(x, 4, 30, 24));
        };
        draw(4, QColor(229, 57, 53), false, false, false, true);
        draw(40, 3, false, false, false, true);
        draw(76, 5, false, false, true, true);
        draw(112, 2, true, true, true, true);
        draw(148, QColor(67, 160, 71), true, false, false, true);
        draw(184, 4, false, false, false, false);
    });
}

QWidget* dayCellsSample() {
    return new PaintedSample(QSize(300, 30), [](QPainter& p) {
        const QColor blue(30, 136, 229);
        const QColor green(67, 160, 71);
        const QColor red(229, 57, 53);
        struct Day {
            const char* title;
            std::vector<DayEventMark> events;
            bool bordered;
        };
        const std::vector<Day> days = {
            {"1", {}, false},
            {"2", {{0, false, blue, true, true}}, false},
            {"3", {{0, false, green, true, false}}, false},
            {"4", {{0, false, green, false, false}}, false},
            {"5", {{0, false, green, false, true}}, false},
            {"6",
             {{0, false, red, true, true},
              {0, false, blue, true, true},
              {0, false, green, true, true}},
             false},
            {"17", {{1, false, {}, true, true}, {5, false, {}, true, true}}, false},
            {"18", {{0, false, blue, true, true}, {4, false, {}, true, true}}, false},
            {"19", {{-1, false, {}, true, true}}, false},
        };
        QFont font = p.font();
        font.setPointSizeF(11);
        for (std::size_t i = 0; i < days.size(); ++i) {
            CalFieldCell cell(QString::fromLatin1(days[i].title));
            cell.setFont(font);
            cell.setBordered(days[i].bordered);
            cell.setRepresentedEvents(days[i].events);
            cell.drawWithFrame(p, QRectF(4 + 32.0 * static_cast<double>(i), 2, 30, 24));
        }
    });
}

QWidget* tableSample() {
    auto* model = new QStandardItemModel(6, 2);
    const char* const names[] = {"Berlin", "Lagos", "Lima", "Oslo", "Perth", "Quito"};
    for (int row = 0; row < 6; ++row) {
        model->setItem(row, 0, new QStandardItem(QString::fromLatin1(names[row])));
        model->setItem(row, 1, new QStandardItem(QStringLiteral("UTC%1").arg(row - 2)));
    }
    model->setHorizontalHeaderLabels({QStringLiteral("City"), QStringLiteral("Zone")});
    auto* table = new DeletableTableView;
    table->setModel(model);
    model->setParent(table);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(20);
    table->horizontalHeader()->setSortIndicatorShown(true);
    table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    table->selectRow(2);
    auto* icons = new ImageAndTextCell(table);
    icons->setImage(sampleIcon().scaled(14, 14, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    table->setItemDelegateForColumn(0, icons);
    auto* separator = new SeparatorCell(table);
    table->setItemDelegateForRow(4, separator);
    table->setFixedSize(300, 150);
    return table;
}

QWidget* controlsSample() {
    auto* host = new QWidget;
    auto* layout = new QGridLayout(host);
    auto* slider = new DoubleSlider;
    slider->setRange(0.0, 1.0, 5);
    slider->setValue(1);
    slider->setAltDoubleValue(0.75);
    layout->addWidget(new QLabel(QStringLiteral("Two knobs")), 0, 0);
    layout->addWidget(slider, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("Button")), 1, 0);
    layout->addWidget(new DVButton(QStringLiteral("Appearance-aware")), 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("Link")), 2, 0);
    layout->addWidget(new URLTextField(QStringLiteral("https://example.org/talvor")), 2, 1);
    auto* path = new vltDragFileTextField;
    path->setText(QStringLiteral("/home/user/Sounds/chime.ogg"));
    layout->addWidget(new QLabel(QStringLiteral("Drop a file")), 3, 0);
    layout->addWidget(path, 3, 1);
    auto* minutes = new QLineEdit(QStringLiteral("90"));
    minutes->setValidator(new OnlyIntegerValueFormatter(minutes));
    layout->addWidget(new QLabel(QStringLiteral("Minutes")), 4, 0);
    layout->addWidget(minutes, 4, 1);
    auto* arrows = new PaintedSample(QSize(60, 14), [](QPainter& p) {
        p.drawImage(QPointF(4, 2), TalvorUtil::ascendingSortIndicator());
        p.drawImage(QPointF(24, 2), TalvorUtil::descendingSortIndicator());
    });
    layout->addWidget(new QLabel(QStringLiteral("Sort arrows")), 5, 0);
    layout->addWidget(arrows, 5, 1);
    auto* status = new PaintedSample(QSize(140, 24), [](QPainter& p) {
        p.fillRect(QRectF(0, 0, 140, 24), QColor(246, 246, 246));
        CustomDateStatusItemButton button;
        button.setBordered(false);
        button.setAttributedTitle(platform::AttributedString(QStringLiteral("Thu 04 Jan")));
        button.drawRect(p, QRectF(0, 0, 140, 24));
    });
    layout->addWidget(new QLabel(QStringLiteral("Date item")), 6, 0);
    layout->addWidget(status, 6, 1);
    return host;
}

}  // namespace

std::unique_ptr<QWidget> makeWidgetGallery() {
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("Widgets"));
    window->setAutoFillBackground(true);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, QColor(250, 250, 250));
    window->setPalette(palette);
    auto* layout = new QGridLayout(window.get());
    layout->addWidget(group(QStringLiteral("Rounded and event paths"), pathsSample()), 0, 0);
    layout->addWidget(group(QStringLiteral("Tinting (opaque red, translucent blue)"), tintSample()),
                      0, 1);
    layout->addWidget(group(QStringLiteral("Shadow and coloured views"), viewsSample()), 1, 0);
    layout->addWidget(group(QStringLiteral("Dots"), dotsSample()), 1, 1);
    layout->addWidget(group(QStringLiteral("Colour wells"), colorWellsSample()), 2, 0);
    layout->addWidget(group(QStringLiteral("Day cells"), dayCellsSample()), 2, 1);
    layout->addWidget(group(QStringLiteral("Striped table"), tableSample()), 3, 0);
    layout->addWidget(group(QStringLiteral("Controls"), controlsSample()), 3, 1);
    return window;
}

QImage renderWidgetGallery(qreal devicePixelRatio) {
    const std::unique_ptr<QWidget> window = makeWidgetGallery();
    window->setAttribute(Qt::WA_DontShowOnScreen);
    window->show();
    window->ensurePolished();
    window->adjustSize();
    QImage image((QSizeF(window->size()) * devicePixelRatio).toSize(),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    window->render(&image);
    return image;
}

}  // namespace talvor
