#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"

#include <QDate>
#include <QPointer>
#include <QString>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace talvor {

// The to-do pane: the texts and colours of the four priorities, the archive of finished
// items (file, format, rollover, template, when), the first weekday of every calendar, the
// menu icon, and two options of the date window. Every change is written at once and
// announced to other processes ("TodoPreferencesChanged").
class TalvorTodoViewController : public PreferencePane {
    Q_OBJECT
  public:
    explicit TalvorTodoViewController(QString nibName, PaneDelegate delegate = {});

    // The priorities in control order, with their keys in the stored dictionaries.
    static const QStringList& priorityKeys();

    // Shows the stored settings; writes nothing.
    void defaultsToControls();
    void notifyTodoPrefChanged();
    // The date-window boxes go to the date settings.
    void saveChange();
    void savePriorityChange();
    void saveColorChange();
    void saveArchiveChange();
    // The first weekday of every calendar view; the calendars redraw.
    void changeStartDay();
    // From the archive box: enables the archive controls after it and stores them; from the
    // location button: a save dialog for the archive file (opened, never run).
    void SetArchiveLocation(QObject* sender);
    // The file chosen in the save dialog, its extension fitted to the format.
    void savePanelDidEnd(const QString& fileName);
    void openArchive();

    // The archive file for `today`: the location without its extension, then the rollover
    // suffix and the format's extension ("Todo26.rtf", "Archive26-12.txt").
    static QString archivePath(const QString& location, int format, int rollover, QDate today);
    QString archivePath() const;

    // Null until the view is built.
    QWidget* control(const QString& id) const;

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    template <class W>
    W* find(const char* id) const;

    PaneDelegate delegate_;
    QPointer<QWidget> view_;
    bool loading_ = false;
};

}  // namespace talvor
