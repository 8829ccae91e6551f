#pragma once

#include <QPointer>
#include <QString>

#include <functional>

class QDialog;
class QLineEdit;
class QPushButton;
class QWidget;

namespace talvor {

// What the break sheet's buttons ask of the application, after the sheet has ended.
class CustomModalWindowDelegate {
  public:
    virtual ~CustomModalWindowDelegate() = default;
    virtual void disableTake5() = 0;
    virtual void showTake5Prefrences() = 0;
};

// The break sheet: the count-down text and the Stop, Done and Preferences buttons, shown
// window-modal on a parent window, or as a window of its own that blocks nothing. It ends once,
// with a return code, through the completion given to beginSheet. Main thread only.
class CustomModalWindowController {
  public:
    static constexpr int kStopReturnCode = -1000;
    static constexpr int kDoneReturnCode = 0;
    // Ended by the application: replaced by a newer break, or stopped from the menu.
    static constexpr int kReplacedReturnCode = 1;

    explicit CustomModalWindowController(CustomModalWindowDelegate& delegate);
    ~CustomModalWindowController();
    CustomModalWindowController(const CustomModalWindowController&) = delete;
    CustomModalWindowController& operator=(const CustomModalWindowController&) = delete;

    QWidget* window() const;
    bool isWindowVisible() const;

    // Shows the sheet on `parent` (none: a window of its own) and brings it to the front.
    void beginSheet(QWidget* parent, std::function<void(int returnCode)> completion);
    // Hides the sheet and runs the completion; later calls do nothing.
    void endSheet(int returnCode);

    // The buttons. The completion may destroy this controller: nothing here touches it after.
    void didTapStopButton();
    void didTapDoneButton();
    void didTapPrefencesButton();

    // Outlets; owned by the window.
    QLineEdit* showBreakTime = nullptr;
    QPushButton* stopBreak = nullptr;
    QPushButton* skipBreak = nullptr;
    QPushButton* preferences = nullptr;

  private:
    class Sheet;

    CustomModalWindowDelegate& delegate_;
    QPointer<Sheet> window_;
    std::function<void(int)> completion_;
};

}  // namespace talvor
