#pragma once

#include "platform/DesktopPanel.h"

#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QWidget>

#include <functional>

namespace talvor {

// The General pane's choice of where the status items show: our own strip, or the
// desktop's panel. Not chosen yet, it shows what the program does: the panel where one
// shows status items, else the strip. Where none does, it says what the user can install.
class StatusItemsPlaceChoice : public QWidget {
    Q_OBJECT
  public:
    // `apply` moves the items at once; the choice is stored before it runs.
    StatusItemsPlaceChoice(std::function<void(platform::StatusItemsPlace)> apply, QWidget* parent);

    QRadioButton* stripButton() const { return strip_; }
    QRadioButton* panelButton() const { return panel_; }
    QLabel* note() const { return note_; }

    // Shows the stored choice, and asks the desktop whether its panel shows status items.
    void load();

  private:
    void choose(platform::StatusItemsPlace place);
    void showPlace(platform::StatusItemsPlace place);

    std::function<void(platform::StatusItemsPlace)> apply_;
    QPointer<QRadioButton> strip_;
    QPointer<QRadioButton> panel_;
    QPointer<QLabel> note_;
};

}  // namespace talvor
