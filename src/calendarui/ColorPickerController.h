#pragma once

#include "calendar/CalSource.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class QButtonGroup;

namespace talvor {

// One choice of the highlight row: column 0 the plain colour, column d the dot of kind d.
class HighlightChoice : public QAbstractButton {
    Q_OBJECT
  public:
    HighlightChoice(int tag, QWidget* parent);
    // A colour (column 0) or a dot kind.
    void setObjectValue(const QVariant& value);
    const QVariant& objectValue() const { return value_; }
    QSize sizeHint() const override { return {20, 21}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QVariant value_;
};

// The highlight picker of a calendar source: a colour chooser with a row of highlight
// choices under it (the plain colour, or one of the dots). Every change is reported to the
// callback with the highlight being edited. One per process; opened with open(), never run.
class ColorPickerController : public QObject {
    Q_OBJECT
  public:
    using Callback = std::function<void(const SourceHighlight& highlight)>;
    // How long the colour must rest before it is reported: dragging through the colour
    // field reports only where the user settles.
    static constexpr int kSettleMs = 250;

    ColorPickerController();
    ~ColorPickerController() override;

    // The shared picker, made on first use; tests may put their own in place (nullptr
    // restores the real one).
    static ColorPickerController& controller();
    static void setController(ColorPickerController* picker);

    // The row of choices, made once: numDots() + 1 cells of 20 x 21 points.
    QWidget* accessoryView();
    // Shows the picker for a copy of `highlight`, above the window of `over` when given;
    // `callback` hears of every change.
    void showPickerWithHighlight(const SourceHighlight& highlight, Callback callback,
                                 QWidget* over = nullptr);
    // The colour chooser settled on `color`: the highlight takes it; reported only while
    // the highlight uses no dot.
    void changeColor(const QColor& color);
    // Column `tag` of the row was chosen: reported.
    void chooseHighlightType(int tag);

    const SourceHighlight& currHighlight() const { return currHighlight_; }
    QDialog* window() const { return window_.get(); }
    QColorDialog* colorPanel() const { return panel_; }
    HighlightChoice* choice(int tag) const;

  private:
    void build();

    std::unique_ptr<QDialog> window_;
    QPointer<QColorDialog> panel_;
    QPointer<QWidget> accessoryView_;
    QButtonGroup* colorMatrix_ = nullptr;
    QTimer settle_;
    SourceHighlight currHighlight_;
    Callback currCallback_;
};

}  // namespace talvor
