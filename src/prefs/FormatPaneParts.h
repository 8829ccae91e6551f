#pragma once

#include "foundation/FormatComposer.h"
#include "foundation/FormatList.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QColorDialog;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

namespace talvor {

class FormatTokenField;
class FormatTokenSourceLabel;

// The format pop-up of a pane over its format list: one item per entry (a separator entry
// a disabled item titled as written), the selection rules, adding and deleting. Writes go
// to the user's copy of the list; a failed write is said in the log and by a beep, and the
// list, the pop-up and the setting stay as they were.
class FormatPopUp : public QObject {
    Q_OBJECT
  public:
    // `popup` is owned by the view; `kind` says which list and how entries render.
    FormatPopUp(FormatList::Kind kind, QComboBox* popup, QObject* parent = nullptr);

    // Rebuilds `popup` from `list` (`buildTimeFormatPOPMenu` / `buildDateFormatPOPMenu`).
    static void buildFormatPOPMenu(QComboBox& popup, FormatList::Kind kind, const QStringList& list,
                                   Date now, const QTimeZone& zone);

    // Reads the list and builds the pop-up (`LoadDateFormatMenu`).
    void LoadDateFormatMenu();
    // Selects `pattern`'s entry, else the last item.
    void select(const QString& pattern);
    // The pattern of the selected item; `fallback` when the list is empty.
    QString selectedPattern(const QString& fallback) const;
    const FormatList& list() const { return list_; }
    QComboBox* popup() const { return popup_; }

    // Appends `pattern` and selects it; false (nothing changed) when it could not be written.
    bool add(const QString& pattern);
    // Asks, then deletes the selected entry and selects the entry now at its place (the new
    // last one when it was last; never a separator). `done` gets whether it was deleted.
    void deleteSelected(std::function<void(bool deleted)> done);
    // The question before a delete; by default a message box opened on the pop-up's window.
    std::function<void(QWidget* parent, std::function<void(bool yes)> answer)> confirmDelete;

  private:
    void rebuild();

    FormatList::Kind kind_;
    QPointer<QComboBox> popup_;
    FormatList list_;
};

// A composer: the source fields, the custom token field, the preview and the add button,
// in one group box.
struct FormatComposerParts {
    QGroupBox* group = nullptr;
    FormatTokenField* field = nullptr;
    QLabel* preview = nullptr;
    QPushButton* add = nullptr;
    std::vector<FormatTokenSourceLabel*> sources;
};
// Builds a composer of `sources` at `now`; `render` shows a pattern (the tokens' texts).
FormatComposerParts buildFormatComposer(QWidget& parent, const QString& title,
                                        const std::vector<FormatTokenSource>& sources,
                                        std::function<QString(const QString& pattern)> render);

// A colour well: a flat button filled with the colour.
QPushButton* makeColourWell(QWidget& parent, const QString& objectName);
void showWellColour(QPushButton& well, const QColor& color);
// The colour panel (alpha shown, no buttons) reporting each change to `changed`.
QColorDialog* openColourPanel(QWidget* parent, const QColor& color,
                              std::function<void(const QColor&)> changed);

// `now` (the platform clock's) through `pattern`: what a token shows.
QString renderNow(const QString& pattern);
// Whether "AppleInterfaceStyle" says the dark appearance ("Dark", in any case).
bool appearanceIsDark();

// "Name 14": the font label of the item panes.
QString fontLabelText(const QFont& font);

}  // namespace talvor
