#pragma once

#include "PaneDelegate.h"
#include "PaneTable.h"
#include "PreferencePane.h"
#include "foundation/LocationRecord.h"
#include "world/FloatingOptions.h"

#include <QColor>
#include <QFont>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QAbstractButton;
class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace talvor {

class FormatPopUp;
class HotKeyField;

// The floating clocks pane: shown or not, analog or digital, the face, size, spacing,
// columns, transparency and window layer, the texts beside each clock, the label font and
// colours, and the label formats. Every change is stored at once as the packed
// "FloatingStates" text and the "Floater…" keys, and announced: the running floating clocks
// rebuild from it.
class TalvorPrefsFloatingViewCtrl : public PreferencePane {
    Q_OBJECT
  public:
    explicit TalvorPrefsFloatingViewCtrl(QString nibName, PaneDelegate delegate = {});
    ~TalvorPrefsFloatingViewCtrl() override;

    // Writes the reset values: the 18-number text, no "Floater", the default font and
    // colours; announced, not synchronised.
    static void resetToDefaults(const PaneDelegate& delegate = {});

    // Stores every control and announces the packed text.
    void saveFloaterOptions();
    // Shows the stored options; writes nothing.
    void LoadFloatingClockOptions();
    // The "Floater" box: store, then the application shows or hides the clocks.
    void actShowFloatingClock();
    void setTimeFormat(int index);
    void setDateFormat(int index);
    void chooseCustomDate();
    void chooseCustomFloaterTimeDidEnd(int returnCode);
    void changeFont(const QFont& font);
    // A shortcut recorded in the hot-key field (a negative key code: none).
    void changeHotKey(qint32 keyCode, quint32 modifierFlags);
    // `background`: the background well, else the text well.
    void changeColor(const QColor& color, bool background);

    int showFloating() const { return showFloating_; }
    void setShowFloating(int show) { showFloating_ = show; }
    const QFont& floaterFont() const { return font_; }
    // The options the controls show now (the spacing within its limit).
    FloatingOptions controlsOptions();
    // The screen width the spacing limit uses; by default the primary screen's.
    std::function<double()> screenWidth;
    // The location list whose floating places get a clock; by default the user's file.
    std::function<std::optional<LocationTable>()> locations;
    // Whether the hint that no place floats yet is shown (the clocks are on, none would show).
    bool floatingHintShown() const;

    QCheckBox* check(const QString& name) const;
    QComboBox* popUp(const QString& name) const;
    QSlider* slider(const QString& name) const;
    FormatPopUp* timeFormatPopUp() const { return timePopUp_.get(); }
    FormatPopUp* dateFormatPopUp() const { return datePopUp_.get(); }

    void viewDidShow() override;

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    // The steps of loadView, in the order the controls appear.
    void buildShowBox(QWidget& view, QBoxLayout& root);
    void buildClockType(QGroupBox& look);
    void buildLookPopUps(QGroupBox& look);
    void buildLookSliders(QGroupBox& look);
    void buildTexts(QWidget& view, QBoxLayout& root);
    void buildHotKeyRow(QWidget& view, QBoxLayout& root);
    void buildFormatPopUps(QGroupBox& formats);
    void buildFontRow(QGroupBox& formats);
    void buildColourWells(QGroupBox& formats);
    void buildFoot(QWidget& view, QBoxLayout& root);
    void enableByType();
    void updateFloatingHint();
    void hotKeyChanged(HotKeyField& field);
    void updateFontInfo();
    double width() const;

    PaneDelegate delegate_;
    int showFloating_ = 0;
    bool loading_ = false;
    QFont font_;
    QColor background_;
    QColor text_;
    std::map<QString, QPointer<QCheckBox>> checks_;
    std::map<QString, QPointer<QComboBox>> popUps_;
    std::map<QString, QPointer<QSlider>> sliders_;
    QPointer<QRadioButton> digital_;
    QPointer<QRadioButton> analog_;
    QPointer<QLabel> fontInfo_;
    QPointer<QLabel> floatingHint_;
    QPointer<HotKeyField> hotKey_;
    QPointer<QPushButton> backgroundWell_;
    QPointer<QPushButton> textWell_;
    std::unique_ptr<FormatPopUp> timePopUp_;
    std::unique_ptr<FormatPopUp> datePopUp_;
    // The Texts boxes. Not handed out as `table()`: the clock type disables some of them,
    // and each stores the whole pane rather than a value of its own.
    PaneTable table_;
};

}  // namespace talvor
