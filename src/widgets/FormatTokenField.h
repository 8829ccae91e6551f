#pragma once

#include "foundation/FormatComposer.h"

#include <QFrame>
#include <QHash>
#include <QLabel>
#include <QList>
#include <QPoint>
#include <QPointer>

#include <functional>
#include <vector>

class QHBoxLayout;
class QLineEdit;
class QMenu;
class QMimeData;

namespace talvor {

// A field that holds a custom format as a row of objects: tokens, drawn as rounded chips
// that open a menu of alternatives, and text the user typed. Typing goes in at the end
// (Backspace on an empty end removes the last object); text dropped on the field becomes a
// token when it comes from a source field or shows what a source shows, plain text
// otherwise.
class FormatTokenField : public QFrame {
    Q_OBJECT
  public:
    // The mime type that names the source field a drag came from (its index, as text).
    static QString sourceMimeType() { return QStringLiteral("application/x-talvor-format-source"); }

    explicit FormatTokenField(QWidget* parent = nullptr);
    ~FormatTokenField() override;

    // The tokens the source fields make, in the order dropped text is matched; each token's
    // name is the text its source shows.
    void setSources(std::vector<TokenString> sources);
    // The menus of alternatives by menu type, and how a chosen pattern is shown.
    void setMenus(QHash<qint32, std::vector<FormatAlternative>> menus,
                  std::function<QString(const QString& pattern)> render);

    // The objects in order, text still being typed last.
    QList<FormatObject> objects() const;
    void setObjects(const QList<FormatObject>& objects);
    void clear() { setObjects({}); }

    // What dropped or pasted text becomes: the token of the source it came from (`source`,
    // -1 for none), else of the first source showing that text, else the text itself.
    FormatObject representedObjectForEditingString(const QString& text, int source = -1) const;
    // Adds an object at the end (after any text being typed).
    void append(const FormatObject& object);
    // What a drop of `data` adds; false when it holds no text.
    bool dropMimeData(const QMimeData& data);

    // The token at `index` takes alternative `alternative` of its menu: its pattern, and
    // the text that pattern shows. False when there is no token with a menu there.
    bool chooseAlternative(int index, int alternative);
    // The menu of the token at `index`; null for plain text or a token without one.
    QMenu* menuForObject(int index);

    QLineEdit* typingField() const { return typing_; }

  signals:
    void objectsChanged();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void commitTyping();
    void rebuild();

    QList<FormatObject> objects_;
    std::vector<TokenString> sources_;
    QHash<qint32, std::vector<FormatAlternative>> menus_;
    std::function<QString(const QString&)> render_;
    QHBoxLayout* row_ = nullptr;
    QLineEdit* typing_ = nullptr;
    QList<QPointer<QWidget>> chips_;
};

// A source field of a composer: shows a sample; dragging it to a FormatTokenField makes a
// token, and a double-click sends it there as well.
class FormatTokenSourceLabel : public QLabel {
    Q_OBJECT
  public:
    FormatTokenSourceLabel(int index, const QString& sample, QWidget* parent = nullptr);

    int index() const { return index_; }
    // The drag's contents: the sample as text, and the source's index.
    QMimeData* makeMimeData() const;

  signals:
    void activated(int index);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    int index_;
    QPoint pressedAt_;
};

}  // namespace talvor
