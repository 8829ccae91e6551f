#pragma once

#include <QObject>

namespace talvor::platform {

// Whether the application has an entry in the desktop's taskbar and pager: what other
// systems call its Dock icon.
class TaskbarPresence {
  public:
    virtual ~TaskbarPresence();

    virtual bool showsInTaskbar() const = 0;
    virtual void setShowsInTaskbar(bool shows) = 0;

    // The process-wide presence; tests put a fake in its place (nullptr: the real one).
    static TaskbarPresence& shared();
    static void setShared(TaskbarPresence* presence);
};

// Marks our top-level windows skip-taskbar and skip-pager (through the window-manager hints)
// while the application keeps out of the taskbar: the windows already shown at once, the
// others as they are shown. Without a window manager that hears the hints, the windows keep
// their entries, said once in the log.
class WindowTaskbarPresence : public QObject, public TaskbarPresence {
    Q_OBJECT
  public:
    bool showsInTaskbar() const override { return shows_; }
    void setShowsInTaskbar(bool shows) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool shows_ = true;
    bool watching_ = false;
    bool told_ = false;
};

}  // namespace talvor::platform
