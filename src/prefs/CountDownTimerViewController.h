#pragma once

#include "PaneDelegate.h"
#include "PaneTable.h"
#include "PreferencePane.h"
#include "alarms/CountDownEditor.h"
#include "alarms/CountDownTiles.h"
#include "platform/NotificationCenter.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace talvor {

// The count-down page: a form that adds a count-down event, the tiles of every stored event
// (their information buttons open the event's editor), and the box that puts "Count Down..."
// into the time menu. The tiles follow the store when an editor says it changed.
class CountDownTimerViewController : public PreferencePane {
    Q_OBJECT
  public:
    explicit CountDownTimerViewController(QString nibName, PaneDelegate delegate = {});
    ~CountDownTimerViewController() override;

    // Add: the form's problems in an alert, or a new event stored and "Event Saved!" shown.
    bool setEvent();
    // The saved alert ended: OK empties the form and shows the new tile.
    void eventSavedDidEnd(int returnCode);
    // The tiles from the store as it is now.
    void updateEventsGUI();
    // As a click on the menu box: stores what it shows and has the menu rebuilt.
    void showHideCountDownMenuItem();

    PaneTable* table() override { return &table_; }

    CountDownForm* form() const { return form_; }
    EventsCollectionView* eventsCollectionView() const { return eventsCollectionView_; }
    QCheckBox* showHideCountDown() const;
    QPushButton* addButton() const { return addButton_; }
    QMessageBox* savedAlert() const { return savedAlert_; }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    std::vector<PaneRow> makeRows();

    PaneDelegate delegate_;
    platform::Observation eventsUpdate_;
    QPointer<CountDownForm> form_;
    QPointer<EventsCollectionView> eventsCollectionView_;
    QPointer<QPushButton> addButton_;
    QPointer<QMessageBox> savedAlert_;
    PaneTable table_;
};

}  // namespace talvor
