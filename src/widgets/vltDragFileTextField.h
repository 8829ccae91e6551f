#pragma once

#include <QLineEdit>
#include <QMimeData>
#include <QStringList>

#include <functional>

namespace talvor {

// Drop handling shared by the path fields: while something acceptable is dragged over the
// field it turns grey and read-only; leaving or dropping restores white and editable.
class DropTargetTextField : public QLineEdit {
    Q_OBJECT
  public:
    explicit DropTargetTextField(QWidget* parent = nullptr);

    // The original system's drag protocol; `source` is the widget the drag started in (null from
    // another application). Entering answers copy or no operation.
    Qt::DropAction draggingEntered(const QMimeData& data, const QObject* source);
    void draggingExited();
    bool prepareForDragOperation() { return true; }
    virtual bool performDragOperation(const QMimeData& data) = 0;
    void concludeDragOperation();

    // As if the user dragged `data` from `source` onto the field and let go: true when the
    // field took it.
    bool dropMimeData(const QMimeData& data, const QObject* source = nullptr);

    // The local files among the data's URLs, as paths.
    static QStringList fileNames(const QMimeData& data);

  protected:
    virtual bool accepts(const QMimeData& data) const = 0;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void setDropLook(bool dragging);
};

// A path field that takes dropped files, URLs or text. The field's text becomes the first
// dropped path, the URL, or the text (read as a property list: a string is taken as it is,
// an array gives its first string, anything else the text itself); then the delegate hook
// `SetURLPathValue` is called. A drag that started in the field itself is refused.
class vltDragFileTextField : public DropTargetTextField {
    Q_OBJECT
  public:
    explicit vltDragFileTextField(QWidget* parent = nullptr);

    // Registers the drag types (file names, string, URL).
    void awakeFromNib();

    std::function<void(vltDragFileTextField* field)> SetURLPathValue;

    bool performDragOperation(const QMimeData& data) override;

    // The text that the data's most preferred kind (file names, URL, string) gives.
    static QString droppedText(const QMimeData& data);
    // Pasteboard text read as a property list, as the field takes it.
    static QString textFromPasteboardText(const QString& text);

  protected:
    bool accepts(const QMimeData& data) const override;
};

// A path field that takes dropped files only: its text becomes the first dropped path.
class MyTextField : public DropTargetTextField {
    Q_OBJECT
  public:
    explicit MyTextField(QWidget* parent = nullptr);

    bool performDragOperation(const QMimeData& data) override;

  protected:
    bool accepts(const QMimeData& data) const override;
};

}  // namespace talvor
