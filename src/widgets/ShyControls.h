#pragma once

#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <vector>

class QButtonGroup;
class QAbstractButton;

namespace talvor {

// Controls that act on a click without bringing their window forward or activating the
// application. Qt leaves window stacking to the window manager, so this is best effort: the
// control and its window are marked to show without activation, and a press never raises
// or activates the window itself.
namespace ShyControls {
// Marks `widget` and its window not to activate on show; what `mouseDown:` asks first.
void preventWindowOrdering(QWidget* widget);
// How many presses asked so far (tests; the count only grows).
int preventWindowOrderingCount();
}  // namespace ShyControls

class ShyButton : public QPushButton {
    Q_OBJECT
  public:
    explicit ShyButton(const QString& title = QString(), QWidget* parent = nullptr);
    bool shouldDelayWindowOrderingForEvent() const { return true; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

class ShyTextField : public QLineEdit {
    Q_OBJECT
  public:
    explicit ShyTextField(QWidget* parent = nullptr);
    bool shouldDelayWindowOrderingForEvent() const { return true; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

class ShyView : public QWidget {
    Q_OBJECT
  public:
    explicit ShyView(QWidget* parent = nullptr);
    bool shouldDelayWindowOrderingForEvent() const { return true; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

class ShyDatePicker : public QDateTimeEdit {
    Q_OBJECT
  public:
    explicit ShyDatePicker(QWidget* parent = nullptr);
    bool shouldDelayWindowOrderingForEvent() const { return true; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// A rows x cols block of radio cells, one selected at a time.
class ShyMatrix : public QWidget {
    Q_OBJECT
  public:
    ShyMatrix(int rows, int cols, QWidget* parent = nullptr);
    bool shouldDelayWindowOrderingForEvent() const { return true; }

    int numberOfRows() const { return rows_; }
    int numberOfColumns() const { return cols_; }
    // nullptr outside the matrix.
    QAbstractButton* cellAtRow(int row, int col) const;
    void selectCellAtRow(int row, int col);
    // -1 with nothing selected.
    int selectedRow() const;
    int selectedColumn() const;

  signals:
    // A cell was clicked.
    void action();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int rows_;
    int cols_;
    QButtonGroup* group_;
    std::vector<QAbstractButton*> cells_;
};

}  // namespace talvor
