#include "TalvorClockControl.h"

#include "platform/MenuMirror.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace talvor {
namespace {

// The clock as assistive technology sees it.
class ClockAccessible : public QAccessibleWidget {
  public:
    explicit ClockAccessible(TalvorClockControl* control)
        : QAccessibleWidget(control, QAccessible::Clock) {}

    TalvorClockControl* control() const { return static_cast<TalvorClockControl*>(widget()); }

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Value:
                return control()->stringValue();
            case QAccessible::Description:
                return control()->accessibilitySynthesis();
            case QAccessible::Name: {
                const QString name = QAccessibleWidget::text(t);
                return name.isEmpty() ? QString::fromLatin1(TalvorClockControl::kRoleDescription)
                                      : name;
            }
            default:
                return QAccessibleWidget::text(t);
        }
    }
    void setText(QAccessible::Text t, const QString& text) override {
        if (t == QAccessible::Value) {
            control()->setStringValue(text);
            return;
        }
        QAccessibleWidget::setText(t, text);
    }

    QStringList actionNames() const override {
        return {QAccessibleActionInterface::increaseAction(),
                QAccessibleActionInterface::decreaseAction()};
    }
    QString localizedActionDescription(const QString& name) const override {
        if (name == QAccessibleActionInterface::increaseAction()) {
            return QStringLiteral("Increment");
        }
        if (name == QAccessibleActionInterface::decreaseAction()) {
            return QStringLiteral("Decrement");
        }
        return QAccessibleWidget::localizedActionDescription(name);
    }
    void doAction(const QString& name) override {
        if (name == QAccessibleActionInterface::increaseAction()) {
            control()->moveRight();
        } else if (name == QAccessibleActionInterface::decreaseAction()) {
            control()->moveLeft();
        } else {
            QAccessibleWidget::doAction(name);
        }
    }
};

QAccessibleInterface* clockAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("talvor::TalvorClockControl") && object != nullptr &&
        object->isWidgetType()) {
        return new ClockAccessible(static_cast<TalvorClockControl*>(object));
    }
    return nullptr;
}

}  // namespace

TalvorClockControl::TalvorClockControl(QWidget* parent) : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(clockAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    cell_.updateCell = [this] { update(); };
    cell_.updateArea = [this](const QRect& area) { update(area); };
}

TalvorClockControl::~TalvorClockControl() {
    cell_.updateCell = nullptr;
    cell_.updateArea = nullptr;
}

float TalvorClockControl::setFontSize(float size) {
    const float previous = cell_.setFontSize(size);
    update();
    return previous;
}

void TalvorClockControl::setImagePath(const std::optional<QString>& path) {
    cell_.setImagePath(path);
    update();
}

QString TalvorClockControl::accessibilitySynthesis() const {
    // Speech engines here take no embedded commands: the announcement alone.
    return QStringLiteral("At the tone, the time will be %1").arg(stringValue());
}

bool TalvorClockControl::showsFocus() const {
    return hasFocus() && window() != nullptr && window()->isActiveWindow();
}

void TalvorClockControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    cell_.drawWithFrame(painter, QRectF(rect()), showsFocus());
}

void TalvorClockControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && cell_.trackMouse(event->position(), QRectF(rect()))) {
        event->accept();
        return;
    }
    event->ignore();
}

void TalvorClockControl::mouseMoveEvent(QMouseEvent* event) {
    if (cell_.isTracking() && (event->buttons() & Qt::LeftButton)) {
        cell_.trackMouseForTimeChangeEvent(event->position(), QRectF(rect()));
        event->accept();
        return;
    }
    event->ignore();
}

void TalvorClockControl::mouseReleaseEvent(QMouseEvent* event) {
    if (cell_.isTracking()) {
        cell_.stopTracking();
        event->accept();
        return;
    }
    event->ignore();
}

void TalvorClockControl::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
            cell_.moveLeft(event->modifiers());
            break;
        case Qt::Key_Right:
            cell_.moveRight(event->modifiers());
            break;
        case Qt::Key_Space:
            cell_.performClick();
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

void TalvorClockControl::contextMenuEvent(QContextMenuEvent* event) {
    auto* mirror = new platform::MenuMirror(cell_.menuForEvent(), this);
    connect(mirror->menu(), &QMenu::aboutToHide, mirror, &QObject::deleteLater);
    mirror->menu()->popup(event->globalPos());
    event->accept();
}

void TalvorClockControl::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void TalvorClockControl::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void TalvorClockControl::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && hasFocus()) {
        update();
    }
}

}  // namespace talvor
