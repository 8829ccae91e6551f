#include "ShyControls.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QMouseEvent>
#include <QRadioButton>

#include <atomic>

namespace talvor {
namespace ShyControls {
namespace {
std::atomic<int> gPrevented{0};
}  // namespace

void preventWindowOrdering(QWidget* widget) {
    ++gPrevented;
    widget->setAttribute(Qt::WA_ShowWithoutActivating);
    if (QWidget* window = widget->window(); window != nullptr) {
        window->setAttribute(Qt::WA_ShowWithoutActivating);
    }
}

int preventWindowOrderingCount() {
    return gPrevented.load();
}

}  // namespace ShyControls

ShyButton::ShyButton(const QString& title, QWidget* parent) : QPushButton(title, parent) {
    setAttribute(Qt::WA_ShowWithoutActivating);
}

void ShyButton::mousePressEvent(QMouseEvent* event) {
    ShyControls::preventWindowOrdering(this);
    QPushButton::mousePressEvent(event);
}

ShyTextField::ShyTextField(QWidget* parent) : QLineEdit(parent) {
    setAttribute(Qt::WA_ShowWithoutActivating);
}

void ShyTextField::mousePressEvent(QMouseEvent* event) {
    ShyControls::preventWindowOrdering(this);
    QLineEdit::mousePressEvent(event);
}

ShyView::ShyView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_ShowWithoutActivating);
}

void ShyView::mousePressEvent(QMouseEvent* event) {
    ShyControls::preventWindowOrdering(this);
    QWidget::mousePressEvent(event);
}

ShyDatePicker::ShyDatePicker(QWidget* parent) : QDateTimeEdit(parent) {
    setAttribute(Qt::WA_ShowWithoutActivating);
}

void ShyDatePicker::mousePressEvent(QMouseEvent* event) {
    ShyControls::preventWindowOrdering(this);
    QDateTimeEdit::mousePressEvent(event);
}

ShyMatrix::ShyMatrix(int rows, int cols, QWidget* parent)
    : QWidget(parent),
      rows_(std::max(rows, 0)),
      cols_(std::max(cols, 0)),
      group_(new QButtonGroup(this)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < cols_; ++c) {
            auto* cell = new QRadioButton(this);
            cell->setAttribute(Qt::WA_ShowWithoutActivating);
            cell->installEventFilter(this);
            group_->addButton(cell, r * cols_ + c);
            layout->addWidget(cell, r, c);
            cells_.push_back(cell);
        }
    }
    connect(group_, &QButtonGroup::idClicked, this, [this] { emit action(); });
}

QAbstractButton* ShyMatrix::cellAtRow(int row, int col) const {
    if (row < 0 || row >= rows_ || col < 0 || col >= cols_) {
        return nullptr;
    }
    return cells_[static_cast<std::size_t>(row * cols_ + col)];
}

void ShyMatrix::selectCellAtRow(int row, int col) {
    if (QAbstractButton* cell = cellAtRow(row, col)) {
        cell->setChecked(true);
    }
}

int ShyMatrix::selectedRow() const {
    const int id = group_->checkedId();
    return id < 0 || cols_ == 0 ? -1 : id / cols_;
}

int ShyMatrix::selectedColumn() const {
    const int id = group_->checkedId();
    return id < 0 || cols_ == 0 ? -1 : id % cols_;
}

bool ShyMatrix::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        ShyControls::preventWindowOrdering(this);
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace talvor
