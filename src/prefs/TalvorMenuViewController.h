#pragma once

#include "PaneTable.h"
#include "PreferencePane.h"
#include "widgets/FormatTokenField.h"

#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QPointer>
#include <QUrl>

#include <array>
#include <functional>
#include <optional>

class QBoxLayout;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFontDialog;
class QGroupBox;
class QLabel;
class QPushButton;

namespace talvor {

class FontTextField;
class FormatPopUp;

// What the menu items pane asks of the application above it.
struct TalvorMenuDelegate {
    // Rebuilds part of the time menu (codes in TalvorMenuViewController::MenuGroup).
    std::function<void(qint32 code)> UpdateMenu;
    // Shows the locations window as a sheet on `window`.
    std::function<void(QWidget* window)> locationTimeZoneSetup;
    // Opens a web page; empty: the desktop's browser.
    std::function<void(const QUrl& url)> openURL;
};

// The menu items pane: what the time menu shows besides the clock. The location lines'
// layout, font, colour, shadow, country part and time format, the IP-address lines, the
// online-information line, and the check cells kept in the menu-item flag word. Every
// control writes through at once and asks the application to rebuild the time menu. The
// boxes, pop-ups, cells and buttons are rows of the pane's table; the font, colour and
// time-format choosers are built by hand.
class TalvorMenuViewController : public PreferencePane {
    Q_OBJECT
  public:
    // The parts of the time menu this pane asks to rebuild.
    enum MenuGroup : qint32 {
        ExternalIP = 0,
        IPv4Lines = 1,
        IPv6Lines = 2,
        WorldClocks = 5,
        InternalIP = 111,
    };

    static constexpr float MaxLocFontSize = 72.0f;
    // Bits 4-7 of the flag word: how a location line is laid out, by layout pop-up item.
    static constexpr quint32 kLocationOrderMask = 0xF0;
    static constexpr std::array<quint32, 6> kLocationOrderCodes = {0x00, 0x40, 0x90,
                                                                   0xD0, 0xA0, 0xE0};
    // The tags (bit numbers) of the check cells.
    static constexpr std::array<int, 6> kCellTags = {3, 11, 12, 13, 14, 15};
    static constexpr const char* kHelpHost = "https://larkspindle.com";

    explicit TalvorMenuViewController(QString nibName, TalvorMenuDelegate delegate = {});
    ~TalvorMenuViewController() override;

    bool respondsToSaveViewSettings() const override { return true; }
    void saveViewSettings() override;
    PaneTable* table() override { return &table_; }

    // The layout pop-up item whose code the word carries; nullopt for an unknown code.
    static std::optional<int> locationOrderItem(quint32 word);

    // Actions of the controls.
    void toggleMenuItems(int tag, bool on);
    void setLocationOrder(int item);
    void setDropShadow(bool on);
    void setHideCountry(bool on);
    void showLocation(bool on);
    void showIP(bool on);
    void showIPV4IP(bool on);
    void showIPV6IP(bool on);
    void showInternalIP(bool on);
    void actShowOnlineInfo(bool on);
    void setNetworkIP(bool on);
    // The IP-echo address field was left: a changed address is stored and the external
    // IP line fetches with it.
    void setIPEchoURL();
    QFontDialog* setFont();
    void changeFont(const QFont& chosen, QFontDialog* panel = nullptr);
    void setColor();
    void changeColor(const QColor& color);
    void chooseCustomDate();
    void chooseCustomLocTimeDidEnd(int returnCode);
    // The location time-format pop-up: the selected entry's pattern becomes the lines' format.
    void setTimeFormat(int index);
    void actAddCustomTimeToMenu();
    void actDeleteCustomTimeToMenu();
    void updateCustomTimePreview();
    void locationTimeZoneSetup();
    void resetToDefaults();
    void helpBtnClicked();
    void OnVersionNoClicked();

    void saveTalvorMenuItemFlags();
    void LoadMenuBarOptions();
    void updateFontInfo();

    bool doneLoadNib() const { return doneLoadNib_; }
    // The pattern the custom field composes.
    const QString& timeString() const { return timeString_; }
    FormatTokenField* tokenField() const { return customTimeTokeField_; }
    QLineEdit* ipEchoURLField() const { return ipEchoURL_; }
    FormatPopUp* formatPopUp() const { return TimeLocFormatStr_.get(); }
    const QFont& LocFont() const { return LocFont_; }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    std::vector<PaneRow> makeRows();
    // The steps of loadView that are not the table's rows.
    void buildFormatChooser(QGroupBox& locations);
    void buildFontAndColour(QGroupBox& locations);
    void buildComposer(QWidget& view, QBoxLayout& root);
    void buildEchoField(QWidget& view, QBoxLayout& root);
    void gatherMenuCells(QWidget& view);
    void finishFoot(QBoxLayout& root);
    // A box's action from outside the view: dropped until set-up ends.
    void applyBox(const char* id, bool on);
    void perform(const PaneCall& call);
    void askUpdateMenu(qint32 code) const;
    static QUrl page(const QString& path);
    void openPage(const QUrl& url) const;
    void showWellColor(const QColor& color);
    void storeLocationTimeFormat(const QString& pattern);
    int savedLocationOrderItem() const;

    TalvorMenuDelegate delegate_;
    bool doneLoadNib_ = false;
    QFont LocFont_;
    QColor wellColor_;

    QPointer<QPushButton> menuColor_;
    QPointer<FontTextField> fontText_;
    QPointer<QButtonGroup> menuItems_;
    QPointer<QComboBox> timeLocFormat_;
    std::unique_ptr<FormatPopUp> TimeLocFormatStr_;
    QPointer<FormatTokenField> customTimeTokeField_;
    QPointer<QLabel> customTimePreview_;
    QPointer<QPushButton> addToTimeMenu_;
    QPointer<QLineEdit> ipEchoURL_;
    QString timeString_;
    PaneTable table_;
};

}  // namespace talvor
