#pragma once

#include "PaneDelegate.h"
#include "PaneTable.h"
#include "PreferencePane.h"
#include "foundation/FormatComposer.h"
#include "platform/NotificationCenter.h"
#include "widgets/FormatTokenField.h"

#include <QColor>
#include <QFont>
#include <QPointer>

#include <memory>

class QComboBox;
class QFontDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace talvor {

class FontTextField;
class FormatPopUp;

// The time item pane: whether the time item is shown and how (time text, flashing
// separator, analog clock icon, drop shadow: bits of the flag word "MenuBarOptBits"), its
// format (from the time format list, typed in the custom format sheet, or composed from
// tokens), its font (at most 32 points) and its colours for the light and the dark
// appearance. Every change is written at once and the strip redraws on the announcement.
class TalvorTimeViewController : public PreferencePane {
    Q_OBJECT
  public:
    static constexpr float kMaxFontSize = 32.0f;
    static constexpr int kMaxSeparatorLength = 3;
    // The flag-word bits of the boxes (their tags).
    enum Tag { ShowTime = 0, FlashSeparator = 2, AnalogClock = 6 };

    explicit TalvorTimeViewController(QString nibName, PaneDelegate delegate = {});
    ~TalvorTimeViewController() override;

    bool respondsToSaveViewSettings() const override { return true; }
    void saveViewSettings() override;
    PaneTable* table() override { return &table_; }

    // Actions of the controls.
    void enableMenuExtra(bool on);
    // A flag box: bit `tag` of the word; tags 0, 2 and 6 also set their setting.
    void showTime(int tag, bool on);
    void setTimeFormat(int index);
    void chooseCustomDate();
    void chooseCustomDateDidEnd(int returnCode);
    void setTimeDropShadow(bool on);
    // The separator field: the text the time item shows for every ":" (empty: ":").
    void setSeparator(const QString& text);
    QFontDialog* setFont();
    void changeFont(const QFont& chosen, QFontDialog* panel = nullptr);
    // `dark`: the dark appearance's well.
    void changeColor(const QColor& color, bool dark);
    void actAddCustomTimeToMenu();
    void actDeleteCustomTimeToMenu();
    void resetToDefaults();
    void darkModeChanged();

    // Writes the flag word under "MenuBarOptBits" and the time settings.
    void saveTalvorMenuBarFlags();
    void reloadSettings();
    void updateCustomTimePreview();

    // The pattern the custom field composes.
    const QString& composedPattern() const { return composed_; }
    FormatTokenField* tokenField() const { return field_; }
    FormatPopUp* formatPopUp() const { return popUp_.get(); }
    const QFont& currentFont() const { return font_; }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    std::vector<PaneRow> makeRows();
    void perform(const PaneCall& call);
    void updateUI();
    void updateFontInfo();
    void showAppearance(bool dark);

    PaneDelegate delegate_;
    QFont font_;
    QString composed_;
    bool dark_ = false;
    std::unique_ptr<FormatPopUp> popUp_;
    QPointer<QComboBox> format_;
    QPointer<FontTextField> fontText_;
    QPointer<QLineEdit> separator_;
    QPointer<QPushButton> lightWell_;
    QPointer<QPushButton> darkWell_;
    QPointer<FormatTokenField> field_;
    QPointer<QLabel> preview_;
    QPointer<QPushButton> add_;
    platform::Observation themeWatch_;
    PaneTable table_;
};

}  // namespace talvor
