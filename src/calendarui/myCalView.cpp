#include "myCalView.h"

#include "platform/Log.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace talvor {
namespace {

QRectF inset(const QRectF& r, qreal by) {
    return r.adjusted(by, by, -by, -by);
}

// Keys that carry no character of their own (arrows, F-keys, Home, ...), as opposed to text
// keys and the few control characters (Escape, Tab, Backspace, Return).
bool isFunctionKey(int key) {
    switch (key) {
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Backspace:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return false;
        default:
            return key >= Qt::Key_Escape;
    }
}

bool isModifierKey(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Meta:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_CapsLock:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
            return true;
        default:
            return false;
    }
}

}  // namespace

myCalView::myCalView(QWidget* parent) : MonthViewBase(Qt::StrongFocus, parent) {
    style_.tipDayFirst = true;
    style_.firstRowWeekNumber = false;
    style_.highestWeekNumber = 52;
    style_.weekHeaderOnlyOverShortNames = true;
    style_.markOppositeLeftNumber = true;
    style_.birthdayInMarkPlace = true;
    style_.fitFloor = 6;
    LoadDayFont();
    initColors();
}

myCalView::~myCalView() = default;

void myCalView::Today() {
    SetoCurDate(today());
}

// Colours ------------------------------------------------------------------------------

void myCalView::setColors(const MonthColors& colors) {
    colors_ = colors;
    update();
}

// Fonts --------------------------------------------------------------------------------

void myCalView::LoadDayFont() {
    if (auto font = MonthFonts::loadDayFont()) {
        setCalDayFont(*font);
    }
}

void myCalView::setCalDayFont(const QFont& font) {
    fonts_.setDay(font, calSettings_->cntH() * calSettings_->cntV());
    haveDayFont_ = true;
    loadedDaySize_ = fonts_.daySize;
    update();
}

void myCalView::updateStyle(MonthStyle& style) {
    switch (calSettings_->dayHPos()) {
        case 0:
            style.dayNumberFlags = Qt::AlignLeft | Qt::AlignBottom;
            break;
        case 2:
            style.dayNumberFlags = Qt::AlignRight | Qt::AlignBottom;
            break;
        default:
            style.dayNumberFlags = Qt::AlignHCenter | Qt::AlignBottom;
            break;
    }
}

// Keys and clicks ----------------------------------------------------------------------

void myCalView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Home:
            Today();
            return;
        case Qt::Key_Right:
            nextMonth();
            return;
        case Qt::Key_Left:
            prevMonth();
            return;
        default:
            break;
    }
    if (!isModifierKey(event->key())) {
        const Qt::KeyboardModifiers modifiers = event->modifiers();
        if (isFunctionKey(event->key())) {
            platform::log(QString::asprintf("Talvor mini function key not supported %x.",
                                            static_cast<unsigned>(event->key())));
            platform::beep();
        } else {
            const unsigned code = event->text().isEmpty()
                                      ? static_cast<unsigned>(event->key())
                                      : static_cast<unsigned>(event->text().at(0).unicode());
            platform::log(
                QString::asprintf("Talvor mini key not supported %x (cmd: %lx, Alt:%lx, %lx).",
                                  code, static_cast<unsigned long>(modifiers & Qt::ControlModifier),
                                  static_cast<unsigned long>(modifiers & Qt::AltModifier),
                                  static_cast<unsigned long>(modifiers.toInt())));
        }
    }
    QWidget::keyPressEvent(event);
}

void myCalView::sendAction() {
    if (action_) {
        action_(*this);
    }
}

void myCalView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        SetLastClick(event->position());
    }
    QWidget::mousePressEvent(event);
}

void myCalView::mouseDoubleClickEvent(QMouseEvent* event) {
    // Not the base class: it would take the second press for a new single click.
    sendAction();
    event->ignore();
}

void myCalView::mouseReleaseEvent(QMouseEvent* event) {
    sendAction();
    QWidget::mouseReleaseEvent(event);
}

// Drops --------------------------------------------------------------------------------

void myCalView::afterDrop(bool taken) {
    if (dropDone_) {
        dropDone_(taken);
    }
}

// Drawing ------------------------------------------------------------------------------

void myCalView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawMonths(painter, rect(), true);
}

void myCalView::drawMonths(QPainter& painter, const QRectF& target, bool toScreen) {
    drawLayout(painter, target, calSettings_->imageStyle(), toScreen);
}

void myCalView::drawMonth(QPainter& painter, const QRectF& rect, bool title, bool withPicture,
                          bool toScreen) {
    const QImage none;
    this->painter().drawCalRect(painter, rect, oCurDate_, title,
                                withPicture ? calSettings_->bgImage() : none, toScreen, today());
}

void myCalView::drawPictureCell(QPainter& painter, const QRectF& rect, bool title,
                                bool withPicture) {
    const QImage none;
    const QImage& image = withPicture ? calSettings_->bgImage() : none;
    drawnPictures_ << DrawnPicture{rect, title, !image.isNull()};
    this->painter().drawImageInRect(painter, rect, oCurDate_, title, image);
}

void myCalView::frame(QPainter& painter, const QRectF& inner) {
    const int width = calSettings_->iDrawFrame();
    if (width <= 0) {
        return;
    }
    const int halfWidth = width / 2;  // whole points
    const qreal half = halfWidth;
    painter.setPen(QPen(colors_.grid, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(inner.adjusted(-half, -half, half, half));
}

// The rows of months a layout lays out in its target: a month's column width and row height,
// the top of the first row of months and the step from one row to the next.
struct myCalView::Grid {
    int across = 1;
    int down = 1;
    qreal columnW = 0;
    qreal rowH = 0;
    qreal top = 0;
    qreal step = 0;
};

myCalView::Grid myCalView::gridFor(const QRectF& target, int layout) const {
    Grid grid;
    grid.across = std::max(1, calSettings_->cntH());
    grid.down = std::max(1, calSettings_->cntV());
    grid.columnW = target.width() / grid.across;
    grid.top = target.top();
    if (layout == 7) {
        grid.rowH = target.height() / (grid.down + 1);
        grid.top += grid.rowH;  // below the picture row
        grid.step = grid.rowH;
    } else {
        // Layouts with a picture row above each row of months take two rows a month.
        const int k = layout == 1 || layout == 6 ? 1 : 2;
        grid.rowH = target.height() / (grid.down * k);
        grid.step = k * grid.rowH;
    }
    return grid;
}

bool myCalView::ensureDayFont() {
    if (haveDayFont_) {
        return true;
    }
    LoadYearMonthFont();
    LoadDayFont();
    LoadLabelFont();
    LoadDayOfWeekFont();
    if (!haveDayFont_) {
        platform::log(QStringLiteral("CalDayFont nil"));
    }
    return haveDayFont_;
}

QDate myCalView::startLayout(int layout) {
    QDate first = oCurDate_.addMonths(calSettings_->startMonthOffset());
    first = QDate(first.year(), first.month(), 1);
    selection_.day = -1;
    selection_.dayOfYear = -1;
    selection_.week = -1;
    selection_.month = first.month();
    selection_.year = first.year();
    oCurDate_ = first;
    // Each draw fits the day font afresh, so a larger view gets its numbers back.
    fonts_.daySize = loadedDaySize_;
    fonts_.dayInUse = fonts_.day;
    fonts_.dayInUse.setPointSizeF(loadedDaySize_);
    style_.gridLines = layout != 8;
    return first;
}

void myCalView::drawLayout(QPainter& painter, const QRectF& target, int layout, bool toScreen) {
    regionList_.clear();
    drawnMonths_.clear();
    drawnPictures_.clear();
    ensureColors();
    if (!ensureDayFont()) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QDate kept = oCurDate_;
    const QDate first = startLayout(layout);
    const Grid grid = gridFor(target, layout);
    preCalFontSize(
        inset(QRectF(target.left(), grid.top, grid.columnW, grid.rowH), calSettings_->marginC()));
    if (layout == 8) {
        drawCornerMonth(painter, target, first.month(), toScreen);
    } else if (layout < 8) {
        if (layout == 6 || layout == 7) {
            drawSharedPicture(painter, target, layout, grid, first.month());
        }
        drawMonthRows(painter, target, layout, grid, toScreen);
    }
    oCurDate_ = kept;
    if (dragging_) {
        painter.setPen(QPen(Qt::red, 4.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(target).adjusted(2, 2, -2, -2));
    }
    painter.restore();
}

void myCalView::drawCornerMonth(QPainter& painter, const QRectF& target, int month, bool toScreen) {
    myCalSettings& settings = *calSettings_;
    settings.LoadMonthImage(month);
    const QRectF picture = inset(target, settings.margin());
    QSizeF box = picture.height() >= 384 ? QSizeF(std::min<qreal>(picture.width() / 3, 256),
                                                  std::min<qreal>(picture.height() / 3, 256))
                                         : QSizeF(picture.width() / 2, picture.height() / 2);
    // Near the bottom right corner: 5 in from the picture's width, 6 up from the bottom.
    const QRectF corner(target.left() + picture.width() - box.width() - 5.0,
                        target.bottom() - 6.0 - box.height(), box.width(), box.height());
    if (settings.bgImage().isNull()) {
        painter.fillRect(picture, colors_.background);
    } else {
        drawPictureCell(painter, picture, false, true);
    }
    drawMonth(painter, inset(corner, settings.marginC()), true, false, toScreen);
    if (settings.iDrawFrame() > 0) {
        frame(painter, inset(corner, settings.marginC()));
    }
}

void myCalView::drawSharedPicture(QPainter& painter, const QRectF& target, int layout,
                                  const Grid& grid, int month) {
    myCalSettings& settings = *calSettings_;
    settings.LoadMonthImage(month);
    const QRectF whole = layout == 6
                             ? inset(target, settings.margin())
                             : inset(QRectF(target.left(), target.top(), target.width(), grid.rowH),
                                     settings.margin());
    if (settings.bgImage().isNull()) {
        painter.fillRect(whole, colors_.background);
    } else {
        drawPictureCell(painter, whole, false, true);
    }
}

void myCalView::drawMonthRows(QPainter& painter, const QRectF& target, int layout, const Grid& grid,
                              bool toScreen) {
    myCalSettings& settings = *calSettings_;
    const bool shared = layout == 6 || layout == 7;
    const bool wide = layout == 3 || layout == 5;
    qreal rowTop = grid.top;
    for (int row = 0; row < grid.down; ++row) {
        qreal width = grid.columnW;
        qreal x = target.left();
        for (int column = 0; column < grid.across; ++column) {
            if (!shared) {
                settings.LoadMonthImage(oCurDate_.month());
            }
            if (wide && column == 0) {
                // One picture across the row, the months below it on whole points.
                drawPictureCell(painter,
                                inset(QRectF(target.left(), rowTop, target.width(), grid.rowH),
                                      settings.margin()),
                                false, true);
                width = std::floor(width);
            }
            const QRectF monthCell =
                drawMonthCell(painter, QRectF(x, rowTop, width, grid.rowH), layout, toScreen);
            frame(painter, inset(monthCell, settings.marginC()));
            oCurDate_ = oCurDate_.addMonths(1);
            settings.setErr(std::nullopt);
            x += width;
        }
        rowTop += grid.step;
    }
}

QRectF myCalView::drawMonthCell(QPainter& painter, const QRectF& slot, int layout, bool toScreen) {
    const myCalSettings& settings = *calSettings_;
    const qreal margin = settings.margin();
    const qreal marginC = settings.marginC();
    const bool titleBit = settings.drawWindowTitle() & myCalSettings::kMonthTitle;
    const bool hasPicture = !settings.bgImage().isNull();
    switch (layout) {
        case 7:
        case 6:
            if (layout == 7) {
                painter.fillRect(inset(slot, margin), colors_.background);
            }
            drawMonth(painter, inset(slot, marginC), layout == 7 || titleBit, false, toScreen);
            return slot;
        case 2:
        case 3:
        case 4:
        case 5:
            return drawBelowPicture(painter, slot, layout, hasPicture, toScreen);
        default:  // 0, 1 and any other
            if (!hasPicture) {
                painter.fillRect(inset(slot, margin), colors_.background);
            }
            drawMonth(painter, inset(slot, marginC), titleBit, true, toScreen);
            return slot;
    }
}

QRectF myCalView::drawBelowPicture(QPainter& painter, const QRectF& upper, int layout,
                                   bool hasPicture, bool toScreen) {
    const qreal margin = calSettings_->margin();
    const QRectF monthCell = upper.translated(0, upper.height());
    painter.fillRect(inset(monthCell, margin), colors_.background);
    const bool wide = layout == 3 || layout == 5;
    if (!wide && !hasPicture) {
        painter.fillRect(inset(upper, margin), colors_.background);
    }
    if (layout == 2) {
        drawPictureCell(painter, inset(upper, margin), true, true);
    } else if (layout == 3) {
        drawPictureCell(painter, inset(upper, margin), true, false);
    } else if (layout == 4) {
        drawPictureCell(painter, inset(upper, margin), false, true);
    }
    drawMonth(painter, inset(monthCell, calSettings_->marginC()), layout >= 4, false, toScreen);
    return monthCell;
}

}  // namespace talvor
