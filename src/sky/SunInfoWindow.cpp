#include "SunInfoWindow.h"

#include "SunTimeTexts.h"
#include "platform/WindowPlacement.h"

#include <QDateEdit>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace talvor {

SunInfoWindow::SunInfoWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      lblCityName_(new QLabel(this)),
      datePicker_(new QDateEdit(this)),
      tableView_(new QTableWidget(SunTimeTexts::kRowCount, 2, this)),
      note_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Sunset/Sunrise"));

    QFont title = lblCityName_->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.25);
    lblCityName_->setFont(title);
    lblCityName_->setObjectName(QStringLiteral("lblCityName"));

    datePicker_->setObjectName(QStringLiteral("datePicker"));
    datePicker_->setCalendarPopup(true);
    connect(datePicker_, &QDateEdit::dateChanged, this, &SunInfoWindow::dayChanged);

    tableView_->setObjectName(QStringLiteral("tableView"));
    tableView_->horizontalHeader()->hide();
    tableView_->verticalHeader()->hide();
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->setSelectionMode(QAbstractItemView::NoSelection);
    tableView_->setFocusPolicy(Qt::NoFocus);
    tableView_->setShowGrid(false);
    tableView_->setAlternatingRowColors(true);
    tableView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tableView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int row = 0; row < SunTimeTexts::kRowCount; ++row) {
        for (int column = 0; column < 2; ++column) {
            auto* item = new QTableWidgetItem(SunTimeTexts::kUnknown);
            item->setTextAlignment(Qt::AlignVCenter |
                                   (column == 0 ? Qt::AlignRight : Qt::AlignLeft));
            tableView_->setItem(row, column, item);
        }
    }
    setRows(SunTimeTexts::resultsLabels(), SunTimeTexts::unknownTexts());

    note_->setObjectName(QStringLiteral("note"));
    note_->setWordWrap(true);
    note_->hide();

    auto* layout = new QVBoxLayout(this);
    auto* header = new QHBoxLayout;
    header->addWidget(lblCityName_, 1);
    header->addWidget(datePicker_);
    layout->addLayout(header);
    layout->addWidget(tableView_);
    layout->addWidget(note_);
}

void SunInfoWindow::setDay(const QDate& day) {
    const QSignalBlocker quiet(datePicker_);
    datePicker_->setDate(day);
}

QDate SunInfoWindow::day() const {
    return datePicker_->date();
}

void SunInfoWindow::setRows(const QStringList& captions, const QStringList& times) {
    for (int row = 0; row < SunTimeTexts::kRowCount; ++row) {
        tableView_->item(row, 0)->setText(captions.value(row, SunTimeTexts::kUnknown));
        tableView_->item(row, 1)->setText(times.value(row, SunTimeTexts::kUnknown));
    }
    tableView_->resizeColumnsToContents();
    tableView_->resizeRowsToContents();
    // Wide and tall enough for every row: the table never scrolls.
    const int width =
        tableView_->columnWidth(0) + tableView_->columnWidth(1) + 2 * tableView_->frameWidth() + 24;
    int height = 2 * tableView_->frameWidth();
    for (int row = 0; row < SunTimeTexts::kRowCount; ++row) {
        height += tableView_->rowHeight(row);
    }
    tableView_->setMinimumSize(width, height);
    tableView_->setColumnWidth(1, tableView_->columnWidth(1) + 24);
}

void SunInfoWindow::setNote(const QString& note) {
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
}

QString SunInfoWindow::cellText(int row, int column) const {
    const QTableWidgetItem* item = tableView_->item(row, column);
    return item != nullptr ? item->text() : QString();
}

void SunInfoWindow::keyPressEvent(QKeyEvent* event) {
    // A window that only shows something closes with Escape, wherever the focus is.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SunInfoWindow::center() {
    adjustSize();
    platform::placeInFreeArea(*this);
}

}  // namespace talvor
