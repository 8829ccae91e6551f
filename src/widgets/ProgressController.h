#pragma once

#include <QDialog>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QProgressBar>

namespace talvor {

// The progress sheet: a title and a busy bar, shown window-modal over a window while some
// work runs.
class ProgressController : public QObject {
    Q_OBJECT
  public:
    ProgressController();
    ~ProgressController() override;

    // The one shared controller, made on first use.
    static ProgressController& controller();

    // The "Progress" window (made again if the window it was a sheet of took it along).
    QDialog* window();
    QLabel* titleField();
    QProgressBar* progBar();

    // Sets the title, starts the bar and shows the sheet over `window` (application-modal
    // without one).
    void startWithTitle(const QString& title, QWidget* window);
    // Stops the bar and ends the sheet.
    void close();
    void sheetDidEnd(int returnCode);

    bool isAnimating() const;

  private:
    void build();

    QPointer<QDialog> window_;
    QLabel* titleField_ = nullptr;
    QProgressBar* progBar_ = nullptr;
};

}  // namespace talvor
