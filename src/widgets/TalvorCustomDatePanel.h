#pragma once

#include "platform/Date.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace talvor {

// The sheet in which the user types a free-form date format and sees it applied to now.
// OK ends it with 1 and keeps the text as `format`; Cancel ends it with 0 and keeps
// `format` as it was. A format that shows nothing (empty, blank, refused) cannot be taken:
// OK is disabled and the sample says why.
class TalvorCustomDatePanel : public QDialog {
    Q_OBJECT
  public:
    // Which pattern language the caller's format uses: the time pane edits UTS #35
    // patterns ("hh:mm:ss a"), the floating clocks the old percent escapes ("%I:%M %p").
    enum class PatternLanguage { CalendarFormat, Uts35 };

    explicit TalvorCustomDatePanel(QWidget* parent = nullptr);
    ~TalvorCustomDatePanel() override;

    static TalvorCustomDatePanel& sharedPanel();

    // Shows the panel as a sheet of `parent` (window-modal); `finished(int)` gives 1 or 0.
    void beginSheet(QWidget* parent);

    QString getSetting() const;
    void setSetting(const QString& format);
    void setPatternLanguage(PatternLanguage language);
    PatternLanguage patternLanguage() const { return language_; }

    void updateFormatSample();
    void ok();
    void cancel();

    QString format() const { return format_; }
    void setFormat(const QString& format) { format_ = format; }

    // The sample text for `format` at `now`, as the panel shows it.
    static QString sampleText(const QString& format, PatternLanguage language, Date now);

    // Whether OK may take the text as it stands.
    bool acceptable() const;

    QLineEdit* mTextField = nullptr;
    QLabel* mTextDateSample = nullptr;
    QPushButton* okButton = nullptr;

  private:
    QString format_;
    PatternLanguage language_ = PatternLanguage::CalendarFormat;
};

}  // namespace talvor
