#pragma once

#include "PaneDelegate.h"
#include "PaneTable.h"
#include "PreferencePane.h"
#include "foundation/FormatComposer.h"
#include "foundation/FormatList.h"
#include "platform/NotificationCenter.h"
#include "services/Manual.h"
#include "widgets/FormatTokenField.h"

#include <QColor>
#include <QFont>
#include <QPointer>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QComboBox;
class QFontDialog;
class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;

namespace talvor {

class FontTextField;
class FormatPopUp;

// What tells the time item pane from the date item pane: names, the format list, the
// settings it shows and writes, the boxes above the format and what a change commits.
struct FormatItemTable {
    // The pane's class name ("TalvorTimeViewController"), also its translation context.
    const char* className = "";
    // The rows' translation context ("talvor::TalvorTimeViewController").
    const char* context = "";
    const char* title = "";
    Manual::Section manual = Manual::Section::Contents;
    FormatList::Kind kind = FormatList::Kind::Time;
    // Taken when the list gives no pattern.
    QString defaultFormat{};
    // The colour wells' object names: light, dark.
    QString lightWellName{};
    QString darkWellName{};
    // The settings the format box shows and changes.
    std::function<QString&()> format{};
    std::function<QFont&()> font{};
    std::function<QColor&()> lightColour{};
    std::function<QColor&()> darkColour{};
    // A format, font or colour change is written with `commit`, the rest with `sync`.
    std::function<void()> commit{};
    std::function<void()> sync{};
    // Before a reset is shown: the settings read again (none: they are as written).
    std::function<void()> readStored{};
    // A reset empties the composer too.
    bool resetClearsComposer = false;
    // The composer's preview shows in the item's font.
    bool previewInItemFont = false;
    // The custom sheet starts from what the pop-up shows, else from the stored format.
    bool sheetEditsShownFormat = false;
    // The composer: token sources at a moment, a composition's pattern, its preview.
    std::function<std::vector<FormatTokenSource>(Date, const QTimeZone&)> tokens{};
    std::function<QString(const QList<FormatObject>&)> compose{};
    std::function<QString(const QString&, Date, const QTimeZone&)> preview{};
    // The boxes above the format box, by title, with their columns; then the format box.
    std::vector<std::pair<const char*, int>> sections{};
    const char* formatSection = "";
    std::function<std::vector<PaneRow>()> rows{};
    // More rows of the format box from `row` on, and how they show the stored values.
    std::function<void(QGroupBox& box, QGridLayout& grid, int row)> moreFormatRows{};
    std::function<void(QGroupBox& box)> showMoreFormatRows{};
};

// An item pane of the strip: the item's boxes (a pane table), its format (from the format
// list, typed in the custom format sheet, or composed from tokens), its font (at most 32
// points) and its colours for the light and the dark appearance. Every change is written at
// once and the strip redraws on the announcement.
class FormatItemPane : public PreferencePane {
    Q_OBJECT
  public:
    static constexpr float kMaxFontSize = 32.0f;

    FormatItemPane(const FormatItemTable& table, QString nibName, PaneDelegate delegate = {});
    ~FormatItemPane() override;

    bool respondsToSaveViewSettings() const override { return true; }
    void saveViewSettings() override;
    PaneTable* table() override { return &table_; }

    // Actions of the controls.
    void selectFormat(int index);
    void chooseCustomFormat();
    void chooseCustomFormatDidEnd(int returnCode);
    QFontDialog* setFont();
    void changeFont(const QFont& chosen, QFontDialog* panel = nullptr);
    // `dark`: the dark appearance's well.
    void changeColor(const QColor& color, bool dark);
    void addComposedFormat();
    void deleteSelectedFormat();
    void resetToDefaults();
    void darkModeChanged();

    void showSettings();
    void updateComposedPreview();

    // The pattern the custom field composes.
    const QString& composedPattern() const { return composed_; }
    FormatTokenField* tokenField() const { return field_; }
    FormatPopUp* formatPopUp() const { return popUp_.get(); }
    const QFont& currentFont() const { return font_; }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    void buildFormatBox(QGroupBox& box);
    void buildComposer(QWidget& view, QBoxLayout& root);
    void perform(const PaneCall& call);
    void readAndShowSettings();
    void reloadAfterReset();
    void clearComposer();
    void updateFontInfo();
    void showAppearance(bool dark);

    const FormatItemTable& spec_;
    PaneDelegate delegate_;
    QFont font_;
    QString composed_;
    bool dark_ = false;
    std::unique_ptr<FormatPopUp> popUp_;
    QPointer<QComboBox> format_;
    QPointer<FontTextField> fontText_;
    QPointer<QPushButton> lightWell_;
    QPointer<QPushButton> darkWell_;
    QPointer<FormatTokenField> field_;
    QPointer<QLabel> preview_;
    QPointer<QPushButton> add_;
    platform::Observation themeWatch_;
    PaneTable table_;
};

}  // namespace talvor
