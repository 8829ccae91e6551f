#pragma once

#include <QLabel>
#include <QUrl>

namespace talvor {

// A link label: text that parses as a URL (with a scheme) is shown blue and underlined and
// opened on click; the click's action is sent in every case. The pointing hand shows over
// the whole field.
class URLTextField : public QLabel {
    Q_OBJECT
  public:
    explicit URLTextField(const QString& text = QString(), QWidget* parent = nullptr);

    // Takes the text as the URL when it is one.
    void awakeFromNib();
    const QUrl& url() const { return url_; }
    void setURL(const QUrl& url);
    // A URL with a scheme, or an invalid one.
    static QUrl parsedURL(const QString& text);

    // What releasing a click does: opens the URL (through QDesktopServices), then sends the
    // action.
    void performClick();

  signals:
    void action();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QUrl url_;
};

// A label that sends its action as soon as the mouse goes down on it.
class TalvorURLClick : public QLabel {
    Q_OBJECT
  public:
    explicit TalvorURLClick(const QString& text = QString(), QWidget* parent = nullptr)
        : QLabel(text, parent) {}

  signals:
    void action();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace talvor
