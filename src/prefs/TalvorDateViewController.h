#pragma once

#include "PaneDelegate.h"
#include "PaneTable.h"
#include "PreferencePane.h"
#include "platform/NotificationCenter.h"
#include "widgets/FormatTokenField.h"

#include <QFont>
#include <QPointer>

#include <memory>

class QComboBox;
class QFontDialog;
class QLabel;
class QPushButton;

namespace talvor {

class FontTextField;
class FormatPopUp;

// The date item pane: whether the date item is shown, whether it draws the date, the moon
// (its hemisphere and tool tip), the drop shadow, the date format (from the date format list
// or composed from tokens into pieces joined by "$*&"), the font (at most 32 points) and the
// colours for the light and the dark appearance. Every change is written at once and the
// strip redraws on the announcement.
class TalvorDateViewController : public PreferencePane {
    Q_OBJECT
  public:
    static constexpr float kMaxFontSize = 32.0f;

    explicit TalvorDateViewController(QString nibName, PaneDelegate delegate = {});
    ~TalvorDateViewController() override;

    bool respondsToSaveViewSettings() const override { return true; }
    void saveViewSettings() override;
    PaneTable* table() override { return &table_; }

    // Actions of the controls.
    void selectDateFormat(int index);
    void chooseCustomDate();
    void chooseCustomDateDidEnd(int returnCode);
    QFontDialog* setFont();
    void changeFont(const QFont& chosen, QFontDialog* panel = nullptr);
    // `dark`: the dark appearance's well.
    void changeColor(const QColor& color, bool dark);
    void actAddCustomDateToMenu();
    void actDeleteCustomDateFromMenu();
    void resetToDefaults();
    void darkModeChanged();

    void loadSettings();
    void updateCustomDatePreview();

    // The composite format the custom field composes.
    const QString& composedPattern() const { return composed_; }
    FormatTokenField* tokenField() const { return field_; }
    FormatPopUp* formatPopUp() const { return popUp_.get(); }
    const QFont& currentFont() const { return font_; }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    std::vector<PaneRow> makeRows();
    void perform(const PaneCall& call);
    void updateFontInfo();
    void showAppearance(bool dark);
    void clearComposer();

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
