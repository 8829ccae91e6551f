#include "myCalProView.h"

#include "CalendarApplication.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorLoadFonts.h"
#include "foundation/TalvorProColor.h"
#include "platform/Clock.h"
#include "platform/Log.h"

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QLocale>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace talvor {
namespace {

const QString kHelvetica = QStringLiteral("Helvetica");

qreal zeroHeight(const QFont& font) {
    return QFontMetricsF(font).boundingRect(QStringLiteral("0")).height();
}

// 0 Sunday ... 6 Saturday.
int weekdayOf(const QDate& day) {
    return day.dayOfWeek() % 7;
}

QString clickHint() {
    return QObject::tr("Click to selected a day");
}

}  // namespace

myCalProView::myCalProView(QWidget* parent)
    : QWidget(parent), calSettings_(std::make_unique<myCalSettings>()) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setFocusPolicy(Qt::ClickFocus);
    setAcceptDrops(true);
    oCurDate_ = today();
    curDayDate_ = oCurDate_;
    LoadYearMonthFont();
    LoadLabelFont();
    LoadDayOfWeekFont();
    LoadDayFont();
    initColors();
    connect(calSettings_.get(), &myCalSettings::changed, this, qOverload<>(&QWidget::update));
}

myCalProView::~myCalProView() = default;

QDate myCalProView::today() const {
    const platform::Clock& clock = clock_ != nullptr ? *clock_ : platform::Clock::shared();
    return clock.now().toQDateTime().toTimeZone(clock.currentZone()).date();
}

void myCalProView::Today() {
    curDayDate_ = today();
    oCurDate_ = curDayDate_;
    dayRectFlag_ = false;
    update();
}

void myCalProView::nextMonth() {
    SetoCurDate(oCurDate_.addMonths(1));
}

void myCalProView::prevMonth() {
    SetoCurDate(oCurDate_.addMonths(-1));
}

void myCalProView::prevDay() {
    dayRectFlag_ = true;
    p_ = QPointF(0, 0);
    curDayDate_ = curDayDate_.addDays(-1);
    oCurDate_ = curDayDate_;
    update();
}

void myCalProView::nextDay() {
    dayRectFlag_ = true;
    p_ = QPointF(0, 0);
    curDayDate_ = curDayDate_.addDays(1);
    oCurDate_ = curDayDate_;
    update();
}

void myCalProView::SetoCurDate(const QDate& date) {
    oCurDate_ = date;
    update();
}

QDateTime myCalProView::dateValue() const {
    if (clickDay_ >= 1) {
        return QDateTime(QDate(clickYear_, clickMonth_, clickDay_), QTime(12, 0));
    }
    return QDateTime(oCurDate_, QTime(12, 0));
}

// Colours ------------------------------------------------------------------------------

void myCalProView::initColors() {
    colors_.grid = QColor::fromRgbF(0.867f, 0.867f, 0.867f, 0.8f);
    colors_.days = Qt::black;
    colors_.today = Qt::red;
    colors_.weekNo = Qt::darkGray;
    colors_.selectedDay = Qt::blue;
    colors_.dayOfWeek = Qt::black;
    colors_.month = Qt::black;
    colors_.weekend = Qt::blue;
    colors_.background = Qt::white;
    colors_.border = QColor::fromRgbF(0.8f, 0.8f, 0.8f);
    dayNoLocation_ = 0;
}

void myCalProView::ReadCalColors() {
    using TalvorProColor::myGetColorFromDefaults;
    colors_.grid = myGetColorFromDefaults(QStringLiteral("CalColorGrid"),
                                          QColor::fromRgbF(0.667f, 0.667f, 0.667f, 0.9f));
    colors_.days = myGetColorFromDefaults(QStringLiteral("CalColorDay"), Qt::black);
    colors_.today = myGetColorFromDefaults(QStringLiteral("CalColorToday"), Qt::red);
    colors_.weekNo = myGetColorFromDefaults(QStringLiteral("CalColorWeekNo"), Qt::darkGray);
    colors_.selectedDay = myGetColorFromDefaults(QStringLiteral("CalColorSelectedDay"), Qt::blue);
    colors_.dayOfWeek = myGetColorFromDefaults(QStringLiteral("CalColorDofW"), Qt::blue);
    colors_.month = myGetColorFromDefaults(QStringLiteral("CalColorMonth"), Qt::blue);
    colors_.weekend = myGetColorFromDefaults(QStringLiteral("CalColorWeekend"), Qt::blue);
    colors_.background = myGetColorFromDefaults(QStringLiteral("CalColorBackground"), Qt::white);
}

void myCalProView::setCalColorBG(const QColor& c) {
    colors_.background = c;
    update();
}
void myCalProView::setCalColorBorder(const QColor& c) {
    colors_.border = c;
    update();
}
void myCalProView::setCalColorRow(const QColor& c) {
    colors_.grid = c;
    update();
}
void myCalProView::setCalColorDay(const QColor& c) {
    colors_.days = c;
    colors_.weekend = c;
    colors_.today = Qt::red;
    update();
}
void myCalProView::setCalColorDayOfWeek(const QColor& c) {
    colors_.dayOfWeek = c;
    update();
}
void myCalProView::setCalColorMonth(const QColor& c) {
    colors_.month = c;
    update();
}
void myCalProView::setCalColorToday(const QColor& c) {
    colors_.today = c;
    update();
}
void myCalProView::setCalColorSelectedDay(const QColor& c) {
    colors_.selectedDay = c;
    update();
}
void myCalProView::setCalColorWeekend(const QColor& c) {
    colors_.weekend = c;
    update();
}
void myCalProView::setCalDayNoLocation(int location) {
    dayNoLocation_ = location;
    update();
}
void myCalProView::setLongMonthNames(bool on) {
    longMonthNames_ = on;
    update();
}

// Fonts --------------------------------------------------------------------------------

void myCalProView::setCalDayOfWeekFont(const QFont& font) {
    calDayOfWeekFont_ = font;
    fontDoWSize_ = static_cast<float>(font.pointSizeF());
    update();
}

void myCalProView::setCalYearFont(const QFont& font) {
    calYearFont_ = font;
    fontTitleSize_ = static_cast<float>(font.pointSizeF());
    update();
}

void myCalProView::setCalDayFont(const QFont& font) {
    calDayFont_ = font;
    fontSize_ = static_cast<float>(font.pointSizeF());
    dayFontInUse_ = font;
    calWeekNoFont_ = font;
    calWeekNoFont_.setPointSizeF(std::max(1.0, 0.75 * fontSize_));
    update();
}

void myCalProView::LoadYearMonthFont() {
    if (auto font =
            TalvorLoadFonts::TalvorLoadCopyFont(QStringLiteral("CalYearFont"), 18, kHelvetica)) {
        calYearFont_ = *font;
        fontTitleSize_ = static_cast<float>(font->pointSizeF());
    }
}

void myCalProView::LoadDayOfWeekFont() {
    if (auto font = TalvorLoadFonts::TalvorLoadCopyFont(QStringLiteral("CalDayOfWeekFont"), 11,
                                                        kHelvetica)) {
        calDayOfWeekFont_ = *font;
        fontDoWSize_ = static_cast<float>(font->pointSizeF());
    }
}

void myCalProView::LoadLabelFont() {
    if (auto font =
            TalvorLoadFonts::TalvorLoadCopyFont(QStringLiteral("CalLabelFont"), 9, kHelvetica)) {
        calLabelFont_ = *font;
    }
}

void myCalProView::LoadDayFont() {
    auto font = TalvorLoadFonts::TalvorLoadCopyFont(QStringLiteral("CalDayFont"), 11, kHelvetica);
    if (!font) {
        return;
    }
    calDayFont_ = *font;
    scaleDayFontForMonths();
}

void myCalProView::scaleDayFontForMonths() {
    float size = static_cast<float>(calDayFont_.pointSizeF());
    const int months = calSettings_->cntH() * calSettings_->cntV();
    if (months >= 7) {
        size *= 0.7f;
    } else if (months >= 5) {
        size *= 0.8f;
    }
    fontSize_ = std::max(size, 6.0f);
    dayFontInUse_ = calDayFont_;
    dayFontInUse_.setPointSizeF(fontSize_);
    calWeekNoFont_ = calDayFont_;
    calWeekNoFont_.setPointSizeF(0.75 * fontSize_);
    update();
}

void myCalProView::preCalFontSize(const QRectF& rect) {
    qreal usable = rect.height();
    const int title = calSettings_->drawWindowTitle();
    if (title & myCalSettings::kWeekdayHeader) {
        usable -= zeroHeight(calDayOfWeekFont_);
    }
    if (title & myCalSettings::kMonthTitle) {
        usable -= zeroHeight(calYearFont_);
    }
    const qreal cell = (rect.width() - 2) / (calSettings_->showWeekNum() ? 8 : 7);
    const qreal row = usable / 6 - 1;
    const auto refit = [this](qreal limit, qreal measured) {
        float size = static_cast<float>(limit / measured * fontSize_);
        if (size < 6) {
            size = 7;  // the smallest size that stays readable
        }
        if (size <= 0 || !std::isfinite(size)) {
            platform::log(QStringLiteral("Font Error"));
            return;
        }
        fontSize_ = size;
        dayFontInUse_ = calDayFont_;
        dayFontInUse_.setPointSizeF(fontSize_);
    };
    QSizeF text = QFontMetricsF(dayFontInUse_).boundingRect(QStringLiteral("00")).size();
    if (text.height() > row && row > 0) {
        refit(row, text.height());
        text = QFontMetricsF(dayFontInUse_).boundingRect(QStringLiteral("00")).size();
    }
    if (text.width() > cell - 1 && cell > 1) {
        refit(cell - 1, text.width());
    }
    calWeekNoFont_ = dayFontInUse_;
    calWeekNoFont_.setPointSizeF(std::max(1.0, 0.75 * fontSize_));
}

// Clicks -------------------------------------------------------------------------------

void myCalProView::SetLastClick(const QPointF& point) {
    dayRectFlag_ = false;
    p_ = point;
    setToolTip(clickHint());
    redrawSelection();
}

void myCalProView::redrawSelection() {
    // The selection is found while drawing; the caller wants it now.
    QImage scratch(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&scratch);
    drawMonths(painter, rect(), true);
    painter.end();
    update();
}

void myCalProView::mousePressEvent(QMouseEvent* event) {
    dayRectFlag_ = false;
    if (event->button() == Qt::LeftButton) {
        SetLastClick(event->position());
    }
    QWidget::mousePressEvent(event);
}

void myCalProView::mouseDoubleClickEvent(QMouseEvent* event) {
    dayRectFlag_ = false;
    if (doubleClickOpensCalendar_) {
        CalendarApplication::launch();
    }
    if (action_) {
        action_(*this);
    }
    QWidget::mouseDoubleClickEvent(event);
}

void myCalProView::mouseReleaseEvent(QMouseEvent* event) {
    dayRectFlag_ = false;
    if (action_) {
        action_(*this);
    }
    QWidget::mouseReleaseEvent(event);
}

void myCalProView::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void myCalProView::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

// Drops --------------------------------------------------------------------------------

void myCalProView::dragEnterEvent(QDragEnterEvent* event) {
    dragging_ = true;
    update();
    event->acceptProposedAction();
}

void myCalProView::dragLeaveEvent(QDragLeaveEvent* event) {
    dragging_ = false;
    update();
    QWidget::dragLeaveEvent(event);
}

void myCalProView::dropEvent(QDropEvent* event) {
    if (performDragOperation(*event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

bool myCalProView::performDragOperation(const QMimeData& mime) {
    dragging_ = false;
    QString text;
    if (mime.hasUrls() && !mime.urls().isEmpty()) {
        const QUrl url = mime.urls().front();
        text = url.isLocalFile() ? url.toLocalFile() : url.toString();
    } else if (mime.hasText()) {
        text = mime.text();
    } else {
        platform::log(QStringLiteral("unsupported dragged types: %1")
                          .arg(mime.formats().join(QStringLiteral(", "))));
    }
    text = text.trimmed();
    platform::debugLog(QStringLiteral("imagePAth = %1").arg(text));
    if (text.endsWith(QLatin1String(".ics"), Qt::CaseInsensitive) ||
        text.startsWith(QLatin1String("webcal"))) {
        calSettings_->loadCALDesc(text);
        update();
        return false;
    }
    if (text.isEmpty()) {
        update();
        return false;
    }
    const bool web =
        text.startsWith(QLatin1String("http://")) || text.startsWith(QLatin1String("https://"));
    calSettings_->freeImageCache();
    calSettings_->setSImagePath(text);
    calSettings_->LoadImage(calSettings_->sImagePath());
    if (!calSettings_->bgImage().isNull() || calSettings_->imagePathisDir() || web) {
        PreferenceDomain::writeText(QStringLiteral("CalBGImagePath"), text);
        PreferenceDomain::synchronize(QStringLiteral("Talvor: the calendar picture was not saved"));
        update();
        return true;
    }
    update();
    return false;
}

// Tool tips ----------------------------------------------------------------------------

std::optional<QString> myCalProView::toolTipAt(const QPointF& point) const {
    for (const auto& region : regionList_) {
        if (region.first.contains(point)) {
            return region.second;
        }
    }
    return std::nullopt;
}

bool myCalProView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (auto text = toolTipAt(help->pos())) {
            QToolTip::showText(help->globalPos(), *text, this);
            return true;
        }
    }
    return QWidget::event(event);
}

// Drawing ------------------------------------------------------------------------------

QRectF myCalProView::myAdjustRect(const QRectF& src, const QRectF& dst, int type) {
    if (src.width() <= 0 || src.height() <= 0) {
        return QRectF(dst.center(), QSizeF(0, 0));
    }
    const qreal sx = dst.width() / src.width();
    const qreal sy = dst.height() / src.height();
    QSizeF size = src.size();
    if (type == 1) {
        if (sx < 1 || sy < 1) {
            size *= std::min(sx, sy);
        }
    } else if (type == 3) {
        size *= sx;
    } else if (type == 4) {
        size *= sy;
    }
    return QRectF(dst.topLeft() + QPointF((dst.width() - size.width()) * 0.5,
                                          (dst.height() - size.height()) * 0.5),
                  size);
}

QImage myCalProView::infoBadge(int side) {
    QImage badge(side, side, QImage::Format_ARGB32_Premultiplied);
    badge.fill(Qt::transparent);
    QPainter painter(&badge);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(40, 110, 220));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(0.5, 0.5, side - 1, side - 1));
    QFont font(kHelvetica);
    font.setBold(true);
    font.setPixelSize(std::max(6, side * 3 / 4));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(badge.rect(), Qt::AlignCenter, QStringLiteral("i"));
    return badge;
}

QImage myCalProView::birthdayBadge(int side) {
    QImage badge(side, side, QImage::Format_ARGB32_Premultiplied);
    badge.fill(Qt::transparent);
    QPainter painter(&badge);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = side;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(236, 92, 140));  // the cake
    painter.drawRoundedRect(QRectF(s * 0.1, s * 0.5, s * 0.8, s * 0.45), s * 0.1, s * 0.1);
    painter.setBrush(QColor(250, 220, 90));  // the candle's flame
    painter.drawEllipse(QRectF(s * 0.4, s * 0.05, s * 0.2, s * 0.25));
    painter.setBrush(QColor(90, 160, 230));  // the candle
    painter.drawRect(QRectF(s * 0.45, s * 0.28, s * 0.1, s * 0.24));
    return badge;
}

void myCalProView::drawShadowedText(QPainter& painter, const QRectF& box, int flags,
                                    const QString& text) {
    if (calSettings_->textDS() != 0) {
        const QPen pen = painter.pen();
        painter.setPen(QColor(255, 255, 255, 170));
        painter.drawText(box.translated(1, 1), flags, text);
        painter.setPen(pen);
    }
    painter.drawText(box, flags, text);
}

void myCalProView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawMonths(painter, rect(), true);
    if (hasFocus()) {
        painter.setPen(QPen(colors_.border, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
    if (dragging_) {
        painter.setPen(QPen(Qt::red, 4));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(2, 2, -2, -2));
    }
}

void myCalProView::drawMonths(QPainter& painter, const QRectF& target, bool toScreen) {
    regionList_.clear();
    drawnMonths_.clear();
    if (!colors_.today.isValid() || !colors_.grid.isValid() || !colors_.days.isValid() ||
        !colors_.weekend.isValid()) {
        platform::log(QStringLiteral("error ReadCalColors"));
        platform::beep();
        ReadCalColors();
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const myCalSettings& settings = *calSettings_;
    const QDate kept = oCurDate_;
    QDate month = oCurDate_.addMonths(settings.startMonthOffset());
    month = QDate(month.year(), month.month(), 1);
    clickMonth_ = month.month();
    clickYear_ = month.year();
    clickDay_ = -1;
    clickDayOfYear_ = -1;
    weekNo_ = -1;
    oCurDate_ = month;

    const int across = std::max(1, settings.cntH());
    const int down = std::max(1, settings.cntV());
    const qreal cellW = target.width() / across;
    const qreal cellH = target.height() / down;
    const qreal margin = settings.margin();
    const qreal marginC = settings.marginC();
    const QRectF first(target.left(), target.top(), cellW, cellH);
    if (down == 1) {
        dayFontInUse_ = calDayFont_;
        dayFontInUse_.setPointSizeF(fontSize_);
    }
    preCalFontSize(first.adjusted(marginC, marginC, -marginC, -marginC));

    for (int row = 0; row < down; ++row) {
        for (int column = 0; column < across; ++column) {
            const QRectF cell(target.left() + column * cellW, target.top() + row * cellH, cellW,
                              cellH);
            calSettings_->LoadMonthImage(oCurDate_.month());
            const QImage image = settings.bgImage();
            if (image.isNull()) {
                painter.fillRect(cell.adjusted(margin, margin, -margin, -margin),
                                 colors_.background);
            }
            const QRectF inner = cell.adjusted(marginC, marginC, -marginC, -marginC);
            drawCalRect(painter, inner, settings.drawWindowTitle() & myCalSettings::kMonthTitle,
                        image, toScreen);
            if (settings.iDrawFrame() > 0) {
                const int halfWidth = settings.iDrawFrame() / 2;  // whole points
                const qreal half = halfWidth;
                painter.setPen(QPen(colors_.grid, settings.iDrawFrame()));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(inner.adjusted(-half, -half, half, half));
            }
            oCurDate_ = oCurDate_.addMonths(1);
        }
    }
    oCurDate_ = kept;
    painter.restore();
}

void myCalProView::drawPicture(QPainter& painter, const QRectF& rect, qreal gridHeight,
                               const QImage& image) {
    const qreal alpha = colors_.background.alphaF();
    const int type = calSettings_->imageScaleType();
    // The picture lies behind the weeks; with scale type 2 behind the whole month.
    QRectF area = rect;
    if (type != 2) {
        area.setTop(rect.bottom() - gridHeight);
    }
    if (alpha != 0) {
        painter.fillRect(area, colors_.background);
    }
    QRectF drawn = area;
    painter.save();
    if (type == 1 || type == 3 || type == 4) {
        drawn = myAdjustRect(QRectF(QPointF(0, 0), image.size()), area, type);
        if (type != 1) {
            painter.setClipRect(rect, Qt::IntersectClip);
        }
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(alpha == 0 ? 1.0 : alpha);
    painter.drawImage(drawn, image);
    painter.restore();
}

void myCalProView::drawCalRect(QPainter& painter, const QRectF& r, bool showTitle,
                               const QImage& image, bool toScreen) {
    const myCalSettings& settings = *calSettings_;
    const bool header = settings.drawWindowTitle() & myCalSettings::kWeekdayHeader;
    const bool weekNumbers = settings.showWeekNum() != 0;
    const qreal headerH = header ? zeroHeight(calDayOfWeekFont_) : 0;
    const qreal titleH = showTitle ? zeroHeight(calYearFont_) : 0;
    const qreal gridH = r.height() - headerH - titleH;
    const qreal cw = (r.width() - 2) / (weekNumbers ? 8 : 7);
    const qreal rowH = gridH / 6;
    const qreal gridTop = r.bottom() - gridH;
    const QDate start(oCurDate_.year(), oCurDate_.month(), 1);
    const int firstDay = settings.firstDay();

    DrawnMonth drawn;
    drawn.first = start;
    drawn.rect = r;

    if (!image.isNull()) {
        drawPicture(painter, r, gridH, image);
    }

    // Grid.
    painter.save();
    const int horGrid = settings.HorGrid();
    if (horGrid == 1) {
        painter.setPen(QPen(colors_.grid, 1));
        for (int k = 1; k <= 5; ++k) {
            const qreal y = gridTop + k * rowH;
            painter.drawLine(QPointF(r.left(), y), QPointF(r.right() - 1, y));
        }
    } else if (horGrid != 0) {
        QPainterPath bands;
        for (int k = 0; k < 6; ++k) {
            bands.addRoundedRect(
                QRectF(r.left() + 1, gridTop + k * rowH + 1, r.width() - 2, rowH - 1.5), 7.5, 7.5);
        }
        painter.fillPath(bands, colors_.grid);
    }
    if (settings.VerGrid() != 0) {
        painter.setPen(QPen(colors_.grid, 1));
        for (int k = 0; k < 6; ++k) {
            const qreal x = r.left() + (weekNumbers ? 2 : 1) * cw + k * cw;
            painter.drawLine(QPointF(x, gridTop), QPointF(x, r.bottom()));
        }
    }
    painter.restore();

    // Title.
    if (showTitle) {
        const QLocale locale;
        const QString name = locale.standaloneMonthName(
            start.month(), longMonthNames_ ? QLocale::LongFormat : QLocale::ShortFormat);
        painter.setFont(calYearFont_);
        painter.setPen(colors_.month);
        const QRectF titleBox(r.left(), r.top(), r.width(), titleH + 2);
        drawShadowedText(painter, titleBox, Qt::AlignHCenter | Qt::AlignBottom,
                         QStringLiteral("%1 %2").arg(name).arg(start.year(), 4));
    }

    // Weekday header.
    if (header) {
        const QLocale locale;
        QLocale::FormatType form = r.width() < 200   ? QLocale::NarrowFormat
                                   : r.width() < 400 ? QLocale::ShortFormat
                                                     : QLocale::LongFormat;
        const QFontMetricsF metrics(calDayOfWeekFont_);
        int keep = form == QLocale::NarrowFormat ? 1 : form == QLocale::ShortFormat ? 3 : 0;
        const auto nameOf = [&](int weekday) {  // 0 Sunday
            QString name = locale.standaloneDayName(weekday == 0 ? 7 : weekday, form);
            return keep > 0 ? name.left(keep) : name;
        };
        for (int w = 0; w < 7; ++w) {
            if (metrics.horizontalAdvance(nameOf(w)) > cw) {
                if (keep == 0 || keep > 3) {
                    form = QLocale::ShortFormat;
                    keep = 3;
                }
                if (metrics.horizontalAdvance(nameOf(w)) > cw) {
                    keep = 1;
                    break;
                }
            }
        }
        const qreal headerTop = r.top() + titleH;
        if (weekNumbers) {
            painter.setFont(calWeekNoFont_);
            painter.setPen(colors_.weekNo);
            painter.drawText(QRectF(r.left() + 2, headerTop, cw, headerH + 2),
                             Qt::AlignLeft | Qt::AlignBottom,
                             keep >= 3 ? QStringLiteral("W#") : QStringLiteral("W"));
        }
        painter.setFont(calDayOfWeekFont_);
        painter.setPen(colors_.dayOfWeek);
        for (int c = 0; c < 7; ++c) {
            const int weekday = (firstDay + c) % 7;
            const qreal left = r.left() + (c + (weekNumbers ? 1 : 0)) * cw + 2;
            drawShadowedText(painter, QRectF(left, headerTop, cw - 2, headerH + 2),
                             Qt::AlignHCenter | Qt::AlignBottom, nameOf(weekday));
            drawn.weekdayNames << nameOf(weekday);
        }
    }

    if (p_.x() >= 0 && r.contains(p_)) {
        clickMonth_ = start.month();
        clickYear_ = start.year();
    }

    const QList<myCalSettings::Person> people =
        settings.showAddressBDays() != 0 && !settings.birthdayTableBuilt()
            ? settings.BirthDaySearchStart()
            : QList<myCalSettings::Person>();
    const QDate todayDate = today();
    const int columnShift = weekNumbers ? 1 : 0;
    const QFontMetricsF dayMetrics(dayFontInUse_);
    QFont bold = dayFontInUse_;
    bold.setBold(true);
    const QImage info = infoBadge(cw > 32 ? 14 : 10);
    int row = 0;
    QDate day = start;
    QDate last = start;
    const auto columnOf = [&](const QDate& d) { return (weekdayOf(d) - firstDay + 7) % 7; };
    const auto rowWeek = [&](const QDate& d) {
        // The ISO week of the row's Monday.
        const QDate rowStart = d.addDays(-columnOf(d));
        const QDate monday = rowStart.addDays((1 - weekdayOf(rowStart) + 7) % 7);
        return monday.weekNumber();
    };
    const auto drawWeekNumber = [&](const QDate& d) {
        const int week = rowWeek(d);
        drawn.weekNumbers << week;
        if (weekNumbers) {
            painter.setFont(calWeekNoFont_);
            painter.setPen(colors_.weekNo);
            drawShadowedText(painter, QRectF(r.left() + 3, gridTop + row * rowH, cw - 3, rowH),
                             Qt::AlignLeft | Qt::AlignBottom, QString::asprintf("%2d", week));
        }
    };
    drawn.topFreeSpace = QRectF();
    drawn.bottomFreeSpace = QRectF();
    drawWeekNumber(start);
    for (; day.month() == start.month(); day = day.addDays(1)) {
        const int column = columnOf(day);
        if (day.day() != 1 && column == 0) {
            ++row;
            drawWeekNumber(day);
        }
        const QRectF cell(r.left() + (column + columnShift) * cw, gridTop + row * rowH, cw, rowH);
        drawn.days << DrawnDay{day, cell};
        if (day.day() == 1) {
            drawn.topFreeSpace =
                column == 0 ? QRectF()
                            : QRectF(r.left() + columnShift * cw, gridTop, column * cw, rowH);
        }
        // Selection.
        const bool picked = toScreen && ((!dayRectFlag_ && p_.x() >= 0 && cell.contains(p_)) ||
                                         (dayRectFlag_ && day == curDayDate_));
        if (picked) {
            painter.setPen(QPen(colors_.selectedDay, 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(cell.adjusted(1, 1, -1, -1));
            if (!dayRectFlag_) {
                clickDay_ = day.day();
                clickDayOfYear_ = day.dayOfYear();
                clickMonth_ = day.month();
                clickYear_ = day.year();
                SetWeekClicked(rowWeek(day));
                QStringList parts;
                if (weekNo_ > 0) {
                    parts << tr("Week %1").arg(weekNo_);
                }
                if (clickDayOfYear_ > 0) {
                    parts << tr("Day %1").arg(clickDayOfYear_);
                }
                setToolTip(
                    parts.isEmpty()
                        ? clickHint()
                        : tr("Selected day is:\n%1\n%2").arg(parts.value(0), parts.value(1)));
            }
        }
        // The number.
        const bool isToday = day == todayDate;
        const bool weekend = day.dayOfWeek() >= 6;
        painter.setFont(isToday ? bold : dayFontInUse_);
        painter.setPen(isToday ? colors_.today : weekend ? colors_.weekend : colors_.days);
        const QRectF place = cell.adjusted(2, 2, -2.5, 0);
        int flags = 0;
        switch (dayNoLocation_) {
            case 1:
                flags = Qt::AlignLeft | Qt::AlignTop;
                break;
            case 2:
                flags = Qt::AlignLeft | Qt::AlignVCenter;
                break;
            case 3:
                flags = Qt::AlignLeft | Qt::AlignBottom;
                break;
            case 4:
                flags = Qt::AlignHCenter | Qt::AlignTop;
                break;
            case 5:
                flags = Qt::AlignHCenter | Qt::AlignVCenter;
                break;
            case 7:
                flags = Qt::AlignRight | Qt::AlignTop;
                break;
            case 8:
                flags = Qt::AlignRight | Qt::AlignVCenter;
                break;
            case 9:
                flags = Qt::AlignRight | Qt::AlignBottom;
                break;
            default:
                flags = Qt::AlignHCenter | Qt::AlignBottom;
                break;
        }
        drawShadowedText(painter, place, flags, QString::number(day.day()));

        // Special days and birthdays.
        if (settings.hasSpecialDays() || settings.showAddressBDays() != 0) {
            const std::optional<QString> special = settings.specialDayText(day);
            QRectF label = cell.adjusted(2, 2, -2, -2);
            if (special) {
                const qreal x =
                    settings.dayHPos() <= 1 ? cell.left() + 2 : cell.right() - info.width() - 2.5;
                label = QRectF(x, cell.top() + 3, info.width(), info.height());
                painter.drawImage(label.topLeft(), info);
            }
            QString names;
            if (settings.showAddressBDays() != 0) {
                names = calSettings_->GetBirthDay(day, people);
            }
            if (!names.isEmpty()) {
                const int side =
                    static_cast<int>(std::min<qreal>(12, std::max<qreal>(4, rowH / 3)));
                const QRectF nameBox = cell.adjusted(2, 2, -2, -2);
                if (settings.showAddressBDays() == 2 && nameBox.width() > 14) {
                    const QRectF textBox = nameBox.adjusted(12, 0, 0, 0);
                    const QFontMetricsF labelMetrics(calLabelFont_);
                    QString shown = names.simplified();
                    while (shown.size() > 1 &&
                           labelMetrics.horizontalAdvance(shown) > textBox.width()) {
                        shown.chop(2);
                        shown += QChar(0x2026);
                    }
                    painter.setFont(calLabelFont_);
                    painter.setPen(Qt::black);
                    painter.drawText(textBox, Qt::AlignRight | Qt::AlignTop, shown);
                }
                const qreal x = special ? label.right() + 1 : nameBox.left();
                painter.drawImage(QRectF(x, cell.top() + 2, side, side), birthdayBadge(side));
            }
            QString tip;
            if (!names.isEmpty() && special) {
                tip = tr("Birthday(s):\r%1\r\rEvent(s):\r%2").arg(names, *special);
            } else if (!names.isEmpty()) {
                tip = tr("Birthday(s):\r%1\r").arg(names);
            } else if (special) {
                tip = *special;
            }
            if (!tip.isEmpty()) {
                regionList_.append({cell, tip});
            }
        }
        last = day;
    }
    // The space after the last day.
    if (row < 5) {
        drawn.bottomFreeSpace =
            QRectF(r.left() + columnShift * cw, gridTop + 5 * rowH, 7 * cw, rowH);
    } else {
        const int after = columnOf(last) + 1;
        const qreal width = (7 - after) * cw;
        drawn.bottomFreeSpace = QRectF(r.left() + (after + columnShift) * cw, gridTop + row * rowH,
                                       width < 3 ? 0 : width, rowH);
    }

    // The settings' error.
    if (const auto& error = settings.err()) {
        const QString text = tr("Suggestion: %1\n[%2]").arg(error->suggestion, error->reason);
        const QRectF space = !drawn.topFreeSpace.isEmpty() &&
                                     drawn.topFreeSpace.width() > drawn.bottomFreeSpace.width()
                                 ? drawn.topFreeSpace
                                 : drawn.bottomFreeSpace;
        painter.setPen(QPen(Qt::red, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(space);
        painter.setPen(Qt::black);
        painter.setFont(calLabelFont_);
        painter.drawText(space.adjusted(2, 2, -2, -2),
                         Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
        regionList_.append({space, text});
    }
    drawnMonths_ << drawn;
}

}  // namespace talvor
