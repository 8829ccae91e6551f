#pragma once

#include "PaneDelegate.h"
#include "PaneTable.h"
#include "PreferencePane.h"

namespace talvor {

// The alarm item pane: whether the time menu offers "Alarms..." and "Take 5...". Its boxes
// also head the alarm editor's page.
class TalvorAlarmViewController : public PreferencePane {
    Q_OBJECT
  public:
    explicit TalvorAlarmViewController(QString nibName, PaneDelegate delegate = {});

    PaneTable* table() override { return &table_; }
    // Re-reads the time settings and shows them.
    void viewDidShow() override;

    // The boxes built into another pane's view (the editor's), at the top of `layout`.
    void buildInto(QWidget& view, QBoxLayout& layout);

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    std::vector<PaneRow> makeRows();
    void perform(const PaneCall& call);

    PaneDelegate delegate_;
    PaneTable table_;
};

}  // namespace talvor
