#pragma once

#include "StatusBar.h"
#include "StatusBarPainter.h"

#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

namespace talvor::platform {

class Menu;
class MenuMirror;
class PreferenceStore;

// The menu bar presenter of the running application: a frameless strip of our own that
// shows the status bar's items right-aligned, each drawn as `paintStatusItem` draws it.
// A press on an item opens its menu as a QMenu mirror under the item (highlighting the
// item while it is open), hands the press to its view, or runs its action on release.
// On X11 the strip is a dock across the top of its screen with a strut, so maximised
// windows stay below it; elsewhere it is an always-on-top frameless window as wide as its
// items that the user moves by dragging its free space. Its screen (and, when floating,
// its place) is remembered in the preference store. On Wayland the compositor has the last
// word on placement and stacking. The status bar must outlive the panel.
class StatusBarPanel : public QWidget {
    Q_OBJECT
  public:
    enum class Mode { Automatic, Dock, Floating };
    struct Options {
        Mode mode = Mode::Automatic;  // Dock on X11, Floating elsewhere
        // Where the place is remembered; nullptr: the application's preference domain.
        PreferenceStore* store = nullptr;
    };

    // Preference key of the remembered place: {"Screen": name, "Right": x, "Top": y}.
    static const QString PositionKey;

    explicit StatusBarPanel(StatusBar& bar);
    StatusBarPanel(StatusBar& bar, Options options);
    ~StatusBarPanel() override;

    // Dock or Floating, once resolved.
    Mode mode() const { return mode_; }
    const StatusBarStyle& style() const { return style_; }
    // An item's rectangle in the panel; empty when the item is not shown.
    QRectF itemRect(const StatusItem* item) const;
    // The mirror of the menu open now, or nullptr.
    MenuMirror* openMenuMirror() const;
    // Opens `menu` under `item`, as a press on an item with that menu does.
    void popUpMenu(StatusItem& item, const std::shared_ptr<Menu>& menu);

    void setVisible(bool visible) override;

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void watch(StatusItem* item);
    // `changed`: the item whose signal asked for it, or none (everything is repainted).
    void relayout(const StatusItem* changed = nullptr);
    void place(const StatusItem* changed = nullptr);
    void applyDock();
    QScreen* chosenScreen() const;
    void remember();
    void reserveBand();
    MenuMirror* mirrorFor(const std::shared_ptr<Menu>& menu);
    void pruneMirrors();
    StatusItem* itemAt(const QPointF& pos) const;
    StatusItemMouseEvent mouseEvent(const QMouseEvent& e, const StatusItem& item) const;

    StatusBar& bar_;
    PreferenceStore& store_;
    Mode mode_;
    StatusBarStyle style_;
    std::vector<PlacedStatusItem> placed_;
    // The items whose highlight the strip shows: a highlight coming or going reaches the
    // columns shared with a neighbour, so it repaints them too.
    std::vector<const StatusItem*> highlighted_;
    std::map<const Menu*, MenuMirror*> mirrors_;
    QPointer<MenuMirror> openMirror_;
    QPointer<StatusItem> openItem_;
    QPointer<StatusItem> pressed_;
    StatusItemPress pressKind_ = StatusItemPress::None;
    bool dragging_ = false;
    QPoint dragOffset_;
    bool placing_ = false;
    QScreen* watchedScreen_ = nullptr;
    QMetaObject::Connection screenWatch_;
};

}  // namespace talvor::platform
