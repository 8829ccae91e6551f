#pragma once

#include "platform/Date.h"
#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"

#include <QColor>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <memory>
#include <optional>

class QHBoxLayout;

namespace talvor {

namespace platform {
class SoundPlayer;
}

// The stopwatch's time text for `seconds` at a resolution (1 tenths, 10 seconds, any other
// minutes). The value is rounded to the resolution before it is split, so 59.97 s read
// "01:00.0", never "00:60.0"; minutes are whole minutes gone.
QString formatStopwatchTime(double seconds, int32_t resolution);
// The start-time menu's title of `seconds`: "30 sec", "1 min. 30 sec", "2 hours, 5 min", ...
QString startTimeTitle(int32_t seconds);

// The stored "swSettings": resolution, direction (0 up, 1 down), window-layer tag and the
// count-down seconds.
struct StopWatchSettings {
    int32_t resolution = 1;
    int32_t direction = 0;
    int32_t windowLayer = 0;
    double countDown = 30.0;

    QString text() const;
    // None when the text is not of that form.
    static std::optional<StopWatchSettings> parse(const QString& text);
    friend bool operator==(const StopWatchSettings&, const StopWatchSettings&) = default;
};

// The stopwatch window: counts up, or down from a start time to "ZERO" with a sound, in
// tenths, seconds or minutes, on a 0.1 s timer of the shared scheduler. Its options drawer
// holds the start time, direction, resolution, end sound, window level, font and colour.
// Other processes start and stop a count-down through the distributed
// "Talvor-Start-StopWatchNotification" (a number of seconds, "0" to stop, "Open"), which
// MyStopWatchObj hears and hands to StopWatchNotify.
class StopWatchWinController : public QWidget {
    Q_OBJECT
  public:
    static const QString kNotification;
    // The name its frame is kept under.
    static const QString kAutosaveName;
    // The arrow buttons' and keys' steps, in seconds.
    static constexpr int kStep = 60;

    explicit StopWatchWinController(QWidget* parent = nullptr);
    ~StopWatchWinController() override;

    void StopWatchNotify(const QVariant& object);
    void StartClock();
    void StopClock();
    void ResetClock();
    void UpdateStopTimer();
    void ChangeTime(int seconds);
    void SetStartTime(int index);
    void SetResolution(int index);
    void ModeSet(int direction);
    void ToggleDirection();
    void SetCountDown(double seconds);
    void WindowModeSet(int index);
    void ToggleDrawer();
    void OpenDrawer();
    void BuildCustomTimeMenu();
    // Writes "swSettings", "swSoundPath" and "swTextColor".
    void saveSettings() const;

    bool isRunning() const { return stopTimer_.isActive(); }
    double timeCounter() const { return timeCounter_; }
    double countDown() const { return countDown_; }
    int32_t resolution() const { return resolution_; }
    int32_t dirFlag() const { return dirFlag_; }
    QString text() const { return timeText_->text(); }
    QPushButton* startButton() const { return StartButton_; }
    QPushButton* upButton() const { return upButton_; }
    QPushButton* downButton() const { return downButton_; }
    QComboBox* startingAt() const { return startingAt_; }
    QComboBox* swResolution() const { return swResolution_; }
    QComboBox* swSound() const { return swSound_; }
    QComboBox* windowLayer() const { return windowLayer_; }
    QWidget* prefDrawer() const { return prefDrawer_; }
    QColor textColor() const { return swTextColor_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    QHBoxLayout* buildTimeRow();
    QHBoxLayout* buildButtonRow();
    void buildDrawer();
    void loadSettings();
    void formatTime();
    void showDirection();
    void applyTextStyle();
    void SetSound();
    void SetFont();
    void SetColor();
    double sinceStart() const;

    platform::TimerHandle stopTimer_;
    std::shared_ptr<platform::SoundPlayer> myTestSound_;
    double timeCounter_ = 30.0;
    double startCounter_ = 0.0;
    double countDown_ = 30.0;
    Date time_;
    int32_t resolution_ = 1;
    int32_t dirFlag_ = 0;
    QFont swFont_;
    QColor swTextColor_ = Qt::black;

    QPointer<QLabel> timeText_;
    QPointer<QPushButton> StartButton_;
    QPointer<QPushButton> upButton_;
    QPointer<QPushButton> downButton_;
    QPointer<QWidget> prefDrawer_;
    QPointer<QComboBox> startingAt_;
    QPointer<QRadioButton> upMode_;
    QPointer<QRadioButton> downMode_;
    QPointer<QComboBox> swResolution_;
    QPointer<QComboBox> swSound_;
    QPointer<QComboBox> windowLayer_;
};

// The process-wide stopwatch window, made on first use: when shown, or when another process
// starts a count-down (it then runs without showing the window).
class MyStopWatchObj {
  public:
    static MyStopWatchObj& sharedPanel();
    // Hears "Talvor-Start-StopWatchNotification" from now on, until stopListening.
    void listen();
    void stopListening();
    StopWatchWinController* window();
    // The window exists and is visible.
    bool stopwatchShown() const;
    // Hides a visible stopwatch; shows a hidden one in front.
    void orderStopWatch();
    // Shows it with its drawer open.
    void PrefsStopWatch();
    // Tests: the window goes.
    void reset();

  private:
    // Shows the window in front, where it was last or else below the strip.
    StopWatchWinController* showWindow();

    QPointer<StopWatchWinController> stopWatch_;
    platform::Observation notifyObservation_;
};

}  // namespace talvor
