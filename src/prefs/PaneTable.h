#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <optional>
#include <variant>
#include <vector>

class QBoxLayout;
class QGroupBox;

namespace talvor {

class TalvorTimeSettings;

// The requests a pane makes of the application above it, each with its own argument; a
// pane carries them out with the `PaneDelegate` member of the same name.
namespace PaneRequest {
// Rebuild a group of the time menu.
struct UpdateMenu {
    qint32 code = 0;
    friend bool operator==(const UpdateMenu&, const UpdateMenu&) = default;
};
struct OpenURL {
    QUrl url{};
    friend bool operator==(const OpenURL&, const OpenURL&) = default;
};
// Open the locations window as a sheet on the pane's window.
struct LocationTimeZoneSetup {
    friend bool operator==(const LocationTimeZoneSetup&, const LocationTimeZoneSetup&) = default;
};
struct UpdateMenuBarItems {
    friend bool operator==(const UpdateMenuBarItems&, const UpdateMenuBarItems&) = default;
};
struct UpdateTake5 {
    friend bool operator==(const UpdateTake5&, const UpdateTake5&) = default;
};
// Put the program in or out of the taskbar after "AppDockIconFlag".
struct AppDockIcon {
    friend bool operator==(const AppDockIcon&, const AppDockIcon&) = default;
};
// Create or remove the applications item after its flags.
struct SetupASMMenu {
    friend bool operator==(const SetupASMMenu&, const SetupASMMenu&) = default;
};
// Rebuild the applications menu.
struct ApplicationChange {
    friend bool operator==(const ApplicationChange&, const ApplicationChange&) = default;
};
}  // namespace PaneRequest

using PaneCall = std::variant<PaneRequest::UpdateMenu, PaneRequest::OpenURL,
                              PaneRequest::LocationTimeZoneSetup, PaneRequest::UpdateMenuBarItems,
                              PaneRequest::UpdateTake5, PaneRequest::AppDockIcon,
                              PaneRequest::SetupASMMenu, PaneRequest::ApplicationChange>;

// The request's name and argument, as a log line shows it ("UpdateMenu(3)").
QString describe(const PaneCall& call);

// One handler per request for `std::visit`: a request a pane does not handle fails to
// compile unless a catch-all is given.
template <class... Handlers>
struct PaneCallHandlers : Handlers... {
    using Handlers::operator()...;
};
template <class... Handlers>
PaneCallHandlers(Handlers...) -> PaneCallHandlers<Handlers...>;

// Where a row's value lives. `read` gives no value (an invalid QVariant) when nothing is
// stored, and may be empty for a control whose state is not kept; `write` puts the value
// in its place and stores it.
struct PaneBinding {
    std::function<QVariant()> read{};
    std::function<void(const QVariant& value)> write{};

    // An integer or boolean under `key` in the application preference domain.
    static PaneBinding preferenceKey(const QString& key);
    // A switch of the shared time settings, stored with them.
    static PaneBinding timeSetting(bool TalvorTimeSettings::*field);
    // A member of a settings model, reached through `model`; `commit` stores the model.
    template <class Model, class T>
    static PaneBinding member(std::function<Model&()> model, T Model::*field,
                              std::function<void(Model&)> commit) {
        return {[model, field] { return QVariant::fromValue(model().*field); },
                [model, field, commit](const QVariant& value) {
                    Model& m = model();
                    m.*field = value.value<T>();
                    commit(m);
                }};
    }
};

// What a change of the row's control does, in this order: store (through the binding, or
// the pane's own store step when the row has none), post a distributed notification, make
// a request of the delegate.
struct PaneEffects {
    bool store = false;
    QString post{};
    std::optional<PaneCall> call{};
    // Last, the pane shows its stored values again (a reset).
    bool reload = false;
};

// One control of a pane.
struct PaneRow {
    enum class Kind {
        Check,   // value: bool
        Choice,  // value: the item's index; items from `choices`
        Button,  // no value; `action` runs when clicked
        Text,    // value: the text, applied when editing it ends with a change
        Number,  // value: an integer within `range`, shown with `suffix`
    };
    enum class Place {
        // The next cell of the section's grid; a labelled field takes a line of its own.
        Cell,
        // A line of the section's form, the label beside its field; a box spans the line.
        // A section whose first row is a form row is laid out as a form.
        Form,
        // A line of its own in the pane's layout, outside any section, `indent` steps in.
        Column,
    };
    struct Range {
        int min = 0;
        int max = 99;
    };
    // The control's object name.
    QString id{};
    Kind kind = Kind::Check;
    // Source text, translated in the pane's context (mark it with QT_TRANSLATE_NOOP).
    const char* label = "";
    PaneBinding binding{};
    // Shown when the binding reads no value.
    QVariant defaultValue{};
    PaneEffects effects{};
    // The group box the control goes in, by its source title; empty: the pane's foot.
    const char* section = "";
    std::vector<const char*> choices{};
    // Runs first when the control is used (a button's whole work).
    std::function<void()> action{};
    Place place = Place::Cell;
    int indent = 0;
    // Number rows only; the suffix is translated like the label.
    Range range{};
    const char* suffix = "";
    // Column rows: beside the column row before, as buttons that belong together.
    bool sameLine = false;
};

// A box in the pane's column that shows or hides an item of the time menu: bound to the
// item's switch in the time settings, it has the item's group of the menu rebuilt.
PaneRow timeMenuSwitch(const QString& id, const char* label, bool TalvorTimeSettings::*field,
                       qint32 group);

// What the table asks of its pane.
struct PaneTableHost {
    // The store step of a row without a binding.
    std::function<void()> store{};
    std::function<void(const QString& name)> post{};
    std::function<void(const PaneCall& call)> call{};
    std::function<void()> reload{};

    // A call step for rows whose only request is a rebuild of the time menu, passed to
    // `updateMenu` (which may be empty).
    static std::function<void(const PaneCall& call)> menuRebuilds(
        std::function<void(qint32 code)> updateMenu);
};

// A pane's controls as rows: builds them, shows their stored values and carries out their
// effects when they are used.
class PaneTable {
  public:
    PaneTable(const char* translationContext, std::vector<PaneRow> rows, PaneTableHost host);

    const std::vector<PaneRow>& rows() const { return rows_; }
    const PaneRow* row(const QString& id) const;
    // The row's control once built; null before.
    QWidget* control(const QString& id) const;
    QString translate(const char* source) const;

    // Builds every row's control into `view`: one group box per section in the order the
    // sections first appear, laid out in `columns` columns (set before building) or as a
    // form, column rows in their place among them, then the foot, its first control on the
    // left and the others on the right. Sections made beforehand with `section` keep their
    // place and take the rows after what they hold. Builds only the rows not built yet, up
    // to the row `last` when given, so a pane can put its own widgets between rows.
    void build(QWidget& view, QBoxLayout& layout, const QString& last = QString());
    QGroupBox* section(QWidget& view, QBoxLayout& layout, const char* title);
    void setColumns(const char* section, int columns);

    // Shows every bound control's stored value; writes nothing, posts nothing.
    void load();
    // The row's control changed to `value` (or was clicked): carries out its effects.
    void apply(const QString& id, const QVariant& value = QVariant());
    // The value the row's control shows.
    QVariant shown(const QString& id) const;

  private:
    QWidget* makeControl(const PaneRow& row, QWidget& parent);
    QWidget* makeField(const PaneRow& row, QWidget& parent);
    void place(const PaneRow& row, QWidget* control, QWidget& view, QBoxLayout& layout);
    void placeInColumn(const PaneRow& row, QWidget* control, QWidget& view, QBoxLayout& layout);
    void placeInForm(const PaneRow& row, QWidget* control, QGroupBox& box);
    void placeInGrid(const PaneRow& row, QWidget* control, QGroupBox& box);
    QGroupBox* makeSection(QWidget& view, QBoxLayout& layout, const char* title, bool form);

    const char* context_;
    std::vector<PaneRow> rows_;
    PaneTableHost host_;
    QHash<QString, QPointer<QWidget>> controls_;
    QHash<QString, QPointer<QGroupBox>> sections_;
    QHash<QString, int> columns_;
    QHash<QString, int> placed_;
    QBoxLayout* foot_ = nullptr;
    // The last column line that a row may join.
    QBoxLayout* columnLine_ = nullptr;
};

}  // namespace talvor
