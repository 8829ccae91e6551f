#include "EditEventController.h"

#include "DeleteEventController.h"
#include "GadgetController.h"
#include "calendar/AppleCal.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/GCalender.h"
#include "platform/UserDefaults.h"
#include "widgets/RenderDot.h"

#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace talvor {
namespace {

QFont& largeFont() {
    static QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    return font;
}

QFont& smallFont() {
    static QFont font = [] {
        QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        f.setPointSizeF(9.0);
        f.setItalic(true);  // the slanted start time
        return f;
    }();
    return font;
}

constexpr double kTextRoom = 2.0;

}  // namespace

void EventView::setLargeFont(const QFont& large, const QFont& small) {
    largeFont() = large;
    smallFont() = small;
    smallFont().setItalic(true);
}

EventView::EventView(std::optional<CalEventDay> event, int width, QWidget* parent,
                     const DeleteHandler& onDelete)
    : QWidget(parent), event_(std::move(event)) {
    const CalEventPtr shown = event_ ? event_->event() : nullptr;
    const bool deletable = onDelete && shown && DeleteEventController::canDelete(*shown);
    const double buttonRoom = deletable ? 16.0 : 0.0;
    const double room = width - kTextRoom - buttonRoom;
    const double x = event_ ? 10.0 : 0.0;  // room for the dot
    const QFontMetricsF large(largeFont());
    const double lineHeight = large.height();
    double textStart = x;
    if (event_ && event_->startTime()) {
        const double timeWidth = QFontMetricsF(smallFont()).horizontalAdvance(*event_->startTime());
        timeStringPoint_ = QPointF(x, 0);
        textStart = x + std::min(0.5 * width, timeWidth) + 2.0;
    }
    QString text;
    if (event_) {
        text = event_->title().isEmpty() ? tr("No title") : event_->title();
    } else {
        text = tr("No events");
    }
    title_ = new QLabel(text, this);
    title_->setObjectName(QStringLiteral("eventTitle"));
    title_->setWordWrap(true);
    title_->setFont(largeFont());
    title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    title_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    title_->setContentsMargins(0, 0, 0, 0);
    QPalette pal = title_->palette();
    pal.setColor(QPalette::WindowText, event_ ? pal.color(QPalette::WindowText) : QColor(Qt::gray));
    title_->setPalette(pal);
    if (event_) {
        title_->setToolTip(event_->title());
    }
    const int textWidth = std::max(1, static_cast<int>(room - textStart + 2.0));
    const int h =
        std::max(static_cast<int>(std::ceil(lineHeight)), title_->heightForWidth(textWidth));
    title_->setGeometry(static_cast<int>(textStart), 0, textWidth, h);
    // The time lines up with the first line of the title.
    timeStringPoint_.setY((lineHeight - QFontMetricsF(smallFont()).height()) / 2);
    dotOffset_ = static_cast<int>((lineHeight - 6.0) * 0.5);
    if (deletable) {
        deleteButton_ = new QToolButton(this);
        deleteButton_->setObjectName(QStringLiteral("deleteButton"));
        deleteButton_->setText(QStringLiteral("\u00d7"));
        deleteButton_->setToolTip(tr("Delete Event"));
        deleteButton_->setAutoRaise(true);
        const int side = static_cast<int>(std::min(buttonRoom, std::ceil(lineHeight)));
        deleteButton_->setGeometry(width - static_cast<int>(buttonRoom), 0, side, side);
        connect(deleteButton_, &QToolButton::clicked, this, [onDelete, shown] { onDelete(shown); });
    }
    setFixedSize(width, h);
}

void EventView::paintEvent(QPaintEvent*) {
    if (!event_) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (event_->highlightType() < 1) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(event_->displayColor());
        painter.drawEllipse(QRectF(2.0, dotOffset_, 6.0, 6.0));
    } else {
        renderDot(painter, static_cast<uint32_t>(event_->highlightType()), false, 2.0f,
                  static_cast<float>(dotOffset_ + 5));
    }
    if (event_->startTime()) {
        painter.setFont(smallFont());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRectF(timeStringPoint_, QSizeF(width() / 2.0, height())),
                         Qt::AlignLeft | Qt::AlignTop, *event_->startTime());
    }
}

EditEventController::EditEventController(platform::UserDefaults& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {
    eventView_ = new QWidget;
    eventView_->setObjectName(QStringLiteral("dayView"));
    dateField_ = new QLabel(eventView_);
    dateField_->setObjectName(QStringLiteral("dateField"));
    dateField_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dateField_->setWordWrap(true);
    auto button = [this](const QString& name, const QString& text, const QString& tip) {
        auto* b = new QToolButton(eventView_);
        b->setObjectName(name);
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        return b;
    };
    newEventButton_ =
        button(QStringLiteral("newEventButton"), QStringLiteral("+"), tr("New Event"));
    appleButton_ = button(QStringLiteral("appleButton"), QStringLiteral("\u2197"),
                          tr("Open the calendar application"));
    googleButton_ =
        button(QStringLiteral("googleButton"), QStringLiteral("G"), tr("Open Google Calendar"));
    googleButton_->hide();
    setFontSize(fontSize_);
}

EditEventController::~EditEventController() {
    // The view belongs to the window it was put in, if any.
    if (eventView_ && eventView_->parent() == nullptr) {
        delete eventView_;
    }
}

void EditEventController::setFontSize(float size) {
    fontSize_ = size;
    QFont font = dateField_->font();
    font.setPointSizeF(size);
    font.setBold(true);
    dateField_->setFont(font);
    QFont large = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    large.setPointSizeF(size);
    QFont small = large;
    small.setPointSizeF(std::max(1.0f, size - 2.0f));
    EventView::setLargeFont(large, small);
}

bool EditEventController::canCreateEvents() const {
    // This computer's calendars take new events whichever back end is chosen.
    if (!AppleCal::sharedInterface().getLocalEventCalendars().empty()) {
        return true;
    }
    if (CalendarBackEnds::selectedKind(defaults_) == CalendarBackEnds::Kind::Google) {
        const GCalender* google = GCalender::installed();
        if (google == nullptr || !google->hasService()) {
            return false;
        }
        const auto& calendars = google->personalCalendars();
        return std::any_of(calendars.begin(), calendars.end(),
                           [](const CalSourcePtr& c) { return c && c->canCreate(); });
    }
    return false;
}

QToolButton* EditEventController::gadgetButton(const Gadget& gadget, const QString& title) {
    auto* button = new QToolButton(eventView_);
    button->setObjectName(QStringLiteral("gadgetButton"));
    button->setToolTip(title);
    button->setAutoRaise(true);
    button->setIconSize(QSize(16, 16));
    if (!gadget.imageUrlString.isEmpty()) {
        QPointer<QToolButton> held(button);
        const std::optional<QImage> icon = EventImage::sharedImages().getImageForURL(
            gadget.imageUrlString, [held, address = gadget.imageUrlString](const QString&) {
                // The icon came: it is in the cache now.
                if (held) {
                    if (std::optional<QImage> image = EventImage::sharedImages().getImageForURL(
                            address, [](const QString&) {})) {
                        held->setIcon(QIcon(QPixmap::fromImage(*image)));
                    }
                }
            });
        if (icon) {
            button->setIcon(QIcon(QPixmap::fromImage(*icon)));
        }
    }
    if (button->icon().isNull()) {
        button->setText(QStringLiteral("\u25a3"));
    }
    if (!gadget.urlString.isEmpty()) {
        connect(button, &QToolButton::clicked, this, [gadget, title, button] {
            GadgetController::controller().showGadget(gadget, title, button);
        });
    }
    return button;
}

void EditEventController::close() {
    GadgetController::controller().closeIfAttached();
}

void EditEventController::updateCreateEventButton() {
    newEventButton_->setEnabled(canCreateEvents());
}

void EditEventController::showDate(const QString& date, const QStringList& auxStrings,
                                   const std::vector<CalEventDay>* events, bool) {
    updateCreateEventButton();
    dateField_->setText(date);
    for (QWidget* w : eventViews_) {
        w->deleteLater();
        w->hide();
    }
    eventViews_.clear();
    const int w = eventView_->width();
    const int lineHeight = std::max(14, dateField_->sizeHint().height());

    // The buttons sit at the right end of the date line.
    int right = w;
    for (QToolButton* b : {googleButton_, appleButton_, newEventButton_}) {
        if (b->isHidden()) {
            continue;
        }
        const QSize s(lineHeight + 2, lineHeight + 2);
        right -= s.width();
        b->setGeometry(QRect(QPoint(right, 0), s));
    }
    // A long date wraps rather than losing its end.
    const int dateWidth = std::max(1, right - 2);
    const int dateHeight = std::max(lineHeight + 2, dateField_->heightForWidth(dateWidth));
    dateField_->setGeometry(0, 0, dateWidth, dateHeight);
    int y = dateHeight + 2;
    for (const QString& text : auxStrings) {
        auto* line = new QLabel(text, eventView_);
        line->setObjectName(QStringLiteral("auxLine"));
        line->setGeometry(0, y, w, line->sizeHint().height());
        line->show();
        y += line->height();
        eventViews_.push_back(line);
    }
    auto addRow = [&](std::optional<CalEventDay> event) {
        auto* row = new EventView(std::move(event), w, eventView_, deleteHandler_);
        row->move(0, y);
        row->show();
        y += row->height();
        eventViews_.push_back(row);
    };
    gadgetButtons_.clear();
    if (events == nullptr || events->empty()) {
        addRow(std::nullopt);
    } else {
        for (const CalEventDay& e : *events) {
            // An event with a gadget is a button in the strip below the rows.
            if (e.event() && e.event()->gadget()) {
                gadgetButtons_.push_back(gadgetButton(*e.event()->gadget(), e.title()));
            } else {
                addRow(e);
            }
        }
    }
    if (!gadgetButtons_.empty()) {
        y += 2;
        int x = 1;
        for (QToolButton* b : gadgetButtons_) {
            b->setGeometry(x, y, 20, 20);
            b->show();
            x += 20;
            eventViews_.push_back(b);
        }
        y += 20;
    }
    eventView_->resize(w, y + 2);
}

}  // namespace talvor
