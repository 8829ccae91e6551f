#pragma once

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

namespace talvor {

class AlarmEditor;
class PaneTable;

// A settings pane: a controller made for a nib name, whose view is built on first use. The
// settings window shows one pane at a time and asks the pane it replaces to save.
class PreferencePane : public QObject {
    Q_OBJECT
  public:
    // The widest a pane may be: the settings window's pane area at its default size, less a
    // vertical scroll bar. A wider pane would scroll sideways.
    static constexpr int kMaxWidth = 560;
    // The margins every pane keeps round its controls.
    static QMargins margins() { return {24, 20, 24, 20}; }

    ~PreferencePane() override;

    const QString& className() const { return className_; }
    const QString& nibName() const { return nibName_; }
    const QString& title() const { return title_; }

    // The pane's view, built on first use and owned by the pane; null when it cannot be built.
    QWidget* view();
    QWidget* viewIfLoaded() const { return view_; }

    // `saveViewSettings` is optional: only panes with controls of their own answer it.
    virtual bool respondsToSaveViewSettings() const { return false; }
    // Copies the pane's controls into their settings and writes them.
    virtual void saveViewSettings() {}

    // The settings window put the pane's view on screen, or brought its window back to the
    // front: a pane whose settings other processes change shows them again.
    virtual void viewDidShow() {}
    // The view is about to leave the screen: another pane takes its place or the window
    // closes.
    virtual void viewWillHide() {}

    // The pane's controls as table rows; null for a pane built wholly by hand.
    virtual PaneTable* table() { return nullptr; }
    // The pane as the alarm menu's editor; null for every pane but the alarm page.
    virtual AlarmEditor* alarmEditor() { return nullptr; }

  protected:
    PreferencePane(QString className, QString nibName, QString title);
    virtual std::unique_ptr<QWidget> loadView() = 0;

  private:
    QString className_;
    QString nibName_;
    QString title_;
    QPointer<QWidget> view_;
    bool loaded_ = false;
};

// A pane whose controls come with a later version: its view shows the title and one line.
class NotedPane : public PreferencePane {
    Q_OBJECT
  public:
    static QString noteText();

  protected:
    using PreferencePane::PreferencePane;
    std::unique_ptr<QWidget> loadView() override;
};

}  // namespace talvor
