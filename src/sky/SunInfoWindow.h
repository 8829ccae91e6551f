#pragma once

#include <QDate>
#include <QStringList>
#include <QWidget>

class QDateEdit;
class QKeyEvent;
class QLabel;
class QTableWidget;

namespace talvor {

// The sun window's view: the city's name, a day chooser and a two-column table of
// captions and times. It shows what it is given and reports the chosen day; it decides
// nothing.
class SunInfoWindow : public QWidget {
    Q_OBJECT
  public:
    explicit SunInfoWindow(QWidget* parent = nullptr);

    QLabel* lblCityName() const { return lblCityName_; }
    QDateEdit* datePicker() const { return datePicker_; }
    QTableWidget* tableView() const { return tableView_; }
    // A line under the table that explains missing times; hidden when empty.
    QLabel* noteLabel() const { return note_; }

    // Shows the day without reporting it back.
    void setDay(const QDate& day);
    QDate day() const;
    // `captions` and `times` row by row; a missing time shows "?".
    void setRows(const QStringList& captions, const QStringList& times);
    void setNote(const QString& note);
    // The text of a table cell ("" outside the table).
    QString cellText(int row, int column) const;

    // Moves the window to the middle of the free area of its screen.
    void center();

  signals:
    void dayChanged(const QDate& day);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QLabel* lblCityName_;
    QDateEdit* datePicker_;
    QTableWidget* tableView_;
    QLabel* note_;
};

}  // namespace talvor
