#pragma once

#include "CappedFetch.h"
#include "foundation/Calendar.h"

#include <QDate>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

namespace talvor {

namespace platform {
class Clock;
}

// The model behind one month-grid calendar view: the layout of the months, the background
// picture (a file, a web address that may carry today's date, or a folder of one picture per
// month), the special days and the birthdays. Main thread only. Network reads run in the
// background; `changed` says when their result has arrived.
class myCalSettings : public QObject {
    Q_OBJECT
  public:
    // What went wrong loading a picture or a calendar, for the view to show.
    struct Error {
        QString domain;
        int code = 0;
        QString description;
        QString reason;
        QString suggestion;
        bool operator==(const Error&) const = default;
    };

    // One person of the address book with a birthday.
    struct Person {
        QString firstName;
        QString lastName;
        QDate birthday;  // the year may be a stand-in when the card gives none
    };

    explicit myCalSettings(QObject* parent = nullptr);
    ~myCalSettings() override;

    // Layout.
    int cntH() const { return cntH_; }
    int cntV() const { return cntV_; }
    // 0 keeps the count; both set the title format 3. Return the old count.
    int SetCntH(int count);
    int SetCntV(int count);
    float margin() const { return static_cast<float>(margin_); }
    float marginC() const { return static_cast<float>(marginC_); }
    void SetMargin(int margin) { margin_ = margin; }
    void SetMarginC(int margin) { marginC_ = margin; }
    int iDrawFrame() const { return iDrawFrame_; }
    int drawFrameValue() const { return iDrawFrame_; }
    void SetDrawFrame(int width) { iDrawFrame_ = width; }
    void setIDrawFrame(int width) { iDrawFrame_ = width; }
    int showWeekNum() const { return showWeekNum_; }
    void SetShowWeekNum(int show) { showWeekNum_ = show; }
    // The weekday of the first column, 0 Sunday ... 6 Saturday.
    int firstDay() const { return firstDay_; }
    // Any weekday 0-6 is kept; anything else gives Saturday (6).
    void SetFirstDayOfWeek(int weekday);
    // The first weekday of a start-day pop-up index (0 Sunday ... 6 Saturday); an index out
    // of range gives the first item, Sunday.
    static int weekdayOfStartDayIndex(qint64 index);
    // The second calendar system whose month starts the grid marks; null for none.
    const Calendar& auxCalendar() const { return auxCalendar_; }
    void setAuxCalendar(Calendar calendar) { auxCalendar_ = std::move(calendar); }
    int startMonthOffset() const { return startMonthOffset_; }
    // Kept, but a one-by-one layout shows no offset.
    void setStartMonthOffset(int offset);
    int SetOffsetMonth(int offset);
    int textDS() const { return textDS_; }
    void setTextDS(int shadow) { textDS_ = shadow; }
    int SetDropShadow(int shadow);
    int VerGrid() const { return verGrid_; }
    int HorGrid() const { return horGrid_; }
    void SetGridLines(int horizontal, int vertical);
    int showAddressBDays() const { return showAddressBDays_; }
    int dayHPos() const { return dayHPos_; }
    int SethPosDay(int position);
    // Bit 1: the month title; bit 2: the weekday header.
    enum TitleBits { kMonthTitle = 1, kWeekdayHeader = 2 };
    int drawWindowTitle() const { return drawWindowTitle_; }
    int SetDrawWindowTitleFormat(int format);
    int imageStyle() const { return imageStyle_; }
    int SetImageStyle(int style);  // 9 and above give 1
    int imageScaleType() const { return imageScaleType_; }
    int SetImageScaleType(int type);
    static QString printJobTitle() { return QStringLiteral("Talvor Cal"); }

    // Errors.
    const std::optional<Error>& err() const { return err_; }
    void setErr(std::optional<Error> error) { err_ = std::move(error); }
    static Error buildErrorWithDescription(const QString& description, const QString& reason,
                                           const QString& solution);

    // Pictures.
    bool imagePathisDir() const { return imagePathIsDir_; }
    bool bgImageIsURL() const { return bgImageIsURL_; }
    void setSImagePath(const std::optional<QString>& path);
    const QString& sImagePath() const { return sImagePath_; }
    // One picture for every month; does nothing for a folder or while a picture is loaded.
    void LoadImage(const std::optional<QString>& path);
    void LoadSingleImage(const std::optional<QString>& path);
    // The month's picture "<m>.jpg" of the picture folder, from the cache after the first read.
    void LoadMonthImage(int month);
    // Asks the web address again (a new day's picture); until it arrives, and when it fails,
    // the last good picture stays.
    void refreshNetworkPicture();
    const QImage& bgImage() const { return bgImage_; }
    void freeImageCache();
    // Small pictures grow by whole doublings up to 1024 x 768; an empty one stays empty.
    static QImage fixResolution(const QImage& picture);
    // The text of a picture address with today's (or another day's) date put in.
    static QString expandDateTemplate(const QString& pattern, const QDate& day);
    // How many reads of a month picture went to the disk (the cache spares the rest).
    int monthPictureReads() const { return monthPictureReads_; }

    // Special days: key "xxMMDD" (every year) or "YYYYMMDD" (that date) to the day's text.
    const QHash<QString, QString>& specialDayDict() const { return specialDays_; }
    bool hasSpecialDays() const { return !specialDays_.isEmpty(); }
    // The text of a day: the every-year entry, else the dated one.
    std::optional<QString> specialDayText(const QDate& day) const;
    bool parseCALdata(const QString& text);
    // A file is read at once (the result of parseCALdata); a web address (webcal too) is
    // fetched in the background: true when the fetch started, and `changed` follows.
    bool loadCALDesc(const QString& pathOrAddress);
    bool SetSpecialDay(bool on);
    QHash<QString, QString> dictFromDateLabels() const;
    // Where "SpecialDays.txt" is looked for, in order (tests replace them).
    void setSpecialDaysFiles(const QStringList& files) { specialDaysFiles_ = files; }
    static QStringList defaultSpecialDaysFiles();
    // The years the recurring special days are spread over: from a year before today's to
    // `kSpecialDayYearsAhead` after.
    static constexpr int kSpecialDayYearsAhead = 5;

    // Birthdays.
    int SetBirthday(int choice);  // 3 and above give 0; 0 drops the table
    // The people of the address book with a birthday.
    QList<Person> BirthDaySearchStart() const;
    // The names born on the day's month and day, each followed by a blank, joined by ",\r".
    QString GetBirthDay(const QDate& day, const QList<Person>& people);
    const QHash<QString, QString>& bdays() const { return bdays_; }
    // Whether the birthday table is built (the people need not be searched again).
    bool birthdayTableBuilt() const { return bdaysBuilt_; }
    void setBdays(const QHash<QString, QString>& table) { bdays_ = table; }
    // The vCard folder, $XDG_DATA_HOME/talvor/Contacts unless set.
    void setContactsFolder(const QString& folder) { contactsFolder_ = folder; }
    static QString defaultContactsFolder();
    // The people of the vCards of one text (only those with a birthday).
    static QList<Person> peopleOfVCards(const QString& text);

    // Limits of the network reads.
    void setFetchLimits(const CappedFetch::Limits& limits) { fetchLimits_ = limits; }

  signals:
    // A background read has finished (picture or calendar); the view redraws.
    void changed();

  private:
    void loadNetworkPicture(const QString& pattern, const QString& address, bool firstTry);
    // Tries the addresses from `index` on until one answers.
    void fetchCalendar(const QStringList& addresses, int index);
    QDate today() const;

    QHash<QString, QString> bdays_;
    bool bdaysBuilt_ = false;
    QHash<QString, QString> specialDays_;
    std::optional<Error> err_;
    QString sImagePath_;
    bool bgImageIsURL_ = false;
    bool imagePathIsDir_ = false;
    QImage bgImage_;
    std::array<QImage, 19> bgThemeImage_;
    int imageStyle_ = 1;
    bool bSpecialDays_ = false;
    int textDS_ = 1;
    int showAddressBDays_ = 0;
    int imageScaleType_ = 0;
    int startMonthOffset_ = 0;
    int drawWindowTitle_ = 3;
    int cntH_ = 1;
    int cntV_ = 1;
    int showWeekNum_ = 0;
    int firstDay_ = 6;
    Calendar auxCalendar_;
    int dayHPos_ = 1;
    int margin_ = 1;
    int marginC_ = 3;
    int iDrawFrame_ = 0;
    int horGrid_ = 1;
    int verGrid_ = 1;
    int monthPictureReads_ = 0;
    QStringList specialDaysFiles_;
    QString contactsFolder_;
    CappedFetch::Limits fetchLimits_;
    CappedFetch* fetch_ = nullptr;
    int pictureGeneration_ = 0;
};

}  // namespace talvor
