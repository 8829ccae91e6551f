#include "ColorPickerController.h"

#include "widgets/ColorWellCell.h"
#include "widgets/RenderDot.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace talvor {
namespace {

ColorPickerController*& standIn() {
    static ColorPickerController* picker = nullptr;
    return picker;
}

}  // namespace

HighlightChoice::HighlightChoice(int tag, QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setFixedSize(20, 21);
    setObjectName(QStringLiteral("highlight%1").arg(tag));
}

void HighlightChoice::setObjectValue(const QVariant& value) {
    value_ = value;
    update();
}

void HighlightChoice::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    ColorWellCell cell;
    cell.setUseSquareHighlight(true);
    cell.setUseBigDot(true);
    // Column 0 keeps no value until a colour is set: it shows an empty swatch.
    cell.setObjectValue(value_.isValid() ? value_ : QVariant(QColor(Qt::transparent)));
    cell.setState(isChecked());
    cell.setHighlighted(isDown());
    cell.drawInteriorWithFrame(painter, rect());
}

ColorPickerController::ColorPickerController() {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, [this] {
        if (panel_) {
            changeColor(panel_->currentColor());
        }
    });
}

ColorPickerController::~ColorPickerController() {
    // A row made before the window holds it is ours alone.
    if (accessoryView_ && accessoryView_->parent() == nullptr) {
        delete accessoryView_.data();
    }
}

ColorPickerController& ColorPickerController::controller() {
    if (standIn() != nullptr) {
        return *standIn();
    }
    // Its window must go while the application still runs, never among the static objects
    // after it.
    static ColorPickerController* shared = nullptr;
    if (shared == nullptr) {
        shared = new ColorPickerController();
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, [] {
                delete shared;
                shared = nullptr;
            });
        }
    }
    return *shared;
}

void ColorPickerController::setController(ColorPickerController* picker) {
    standIn() = picker;
}

QWidget* ColorPickerController::accessoryView() {
    if (accessoryView_) {
        return accessoryView_;
    }
    auto* view = new QWidget();
    view->setObjectName(QStringLiteral("accessoryView"));
    auto* row = new QHBoxLayout(view);
    row->setContentsMargins(1, 0, 0, 0);
    row->setSpacing(0);
    colorMatrix_ = new QButtonGroup(view);
    colorMatrix_->setExclusive(true);
    const int n = static_cast<int>(numDots());
    for (int i = 0; i <= n; ++i) {
        auto* cell = new HighlightChoice(i, view);
        if (i > 0) {
            cell->setObjectValue(static_cast<qlonglong>(i));
        }
        colorMatrix_->addButton(cell, i);
        row->addWidget(cell);
    }
    row->addStretch(1);
    view->setMinimumWidth((n + 1) * 20 + 2);
    connect(colorMatrix_, &QButtonGroup::idClicked, this,
            &ColorPickerController::chooseHighlightType);
    accessoryView_ = view;
    return view;
}

HighlightChoice* ColorPickerController::choice(int tag) const {
    return colorMatrix_ ? qobject_cast<HighlightChoice*>(colorMatrix_->button(tag)) : nullptr;
}

void ColorPickerController::build() {
    window_ = std::make_unique<QDialog>();
    window_->setObjectName(QStringLiteral("ColorAccessory"));
    auto* layout = new QVBoxLayout(window_.get());
    panel_ = new QColorDialog(window_.get());
    panel_->setWindowFlags(Qt::Widget);
    panel_->setOptions(QColorDialog::NoButtons | QColorDialog::DontUseNativeDialog);
    layout->addWidget(panel_);
    QWidget* accessory = accessoryView();
    accessory->setParent(window_.get());
    layout->addWidget(accessory);
    connect(panel_, &QColorDialog::currentColorChanged, this, [this] { settle_.start(); });
}

void ColorPickerController::showPickerWithHighlight(const SourceHighlight& highlight,
                                                    Callback callback, QWidget* over) {
    if (!window_) {
        build();
    }
    settle_.stop();
    currHighlight_ = highlight;
    currCallback_ = std::move(callback);
    window_->setWindowTitle(tr("Event Label"));
    // Kept above the settings window it was opened from, yet never its child: the picker
    // outlives every pane that opens it.
    window_->setWindowFlag(Qt::WindowStaysOnTopHint, over != nullptr);
    {
        const QSignalBlocker quiet(panel_.data());
        panel_->setCurrentColor(highlight.color());
    }
    if (HighlightChoice* plain = choice(0)) {
        plain->setObjectValue(highlight.color());
    }
    if (HighlightChoice* chosen = choice(highlight.dotValue())) {
        chosen->setChecked(true);
    }
    window_->open();
    window_->raise();
    window_->activateWindow();
}

void ColorPickerController::changeColor(const QColor& color) {
    settle_.stop();
    currHighlight_ = SourceHighlight(color, currHighlight_.dotValue());
    if (HighlightChoice* plain = choice(0)) {
        plain->setObjectValue(color);
    }
    if (!currHighlight_.usesDot() && currCallback_) {
        currCallback_(currHighlight_);
    }
}

void ColorPickerController::chooseHighlightType(int tag) {
    currHighlight_.setDotValue(tag);
    if (HighlightChoice* chosen = choice(tag)) {
        chosen->setChecked(true);
    }
    if (currCallback_) {
        currCallback_(currHighlight_);
    }
}

}  // namespace talvor
