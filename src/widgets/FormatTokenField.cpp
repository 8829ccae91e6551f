#include "FormatTokenField.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>

namespace talvor {
namespace {

const char* const kTokenStyle =
    "QToolButton { border: 1px solid palette(highlight); border-radius: 8px; "
    "padding: 1px 6px; background: palette(alternate-base); }";

}  // namespace

FormatTokenField::FormatTokenField(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setAcceptDrops(true);
    setMinimumHeight(30);
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(4, 2, 4, 2);
    row_->setSpacing(2);
    typing_ = new QLineEdit(this);
    typing_->setObjectName(QStringLiteral("typing"));
    typing_->setFrame(false);
    // Drops land on the field, which knows the sources.
    typing_->setAcceptDrops(false);
    typing_->installEventFilter(this);
    row_->addWidget(typing_, 1);
    connect(typing_, &QLineEdit::textEdited, this, &FormatTokenField::objectsChanged);
    connect(typing_, &QLineEdit::returnPressed, this, [this] {
        commitTyping();
        rebuild();
    });
}

FormatTokenField::~FormatTokenField() = default;

void FormatTokenField::setSources(std::vector<TokenString> sources) {
    sources_ = std::move(sources);
}

void FormatTokenField::setMenus(QHash<qint32, std::vector<FormatAlternative>> menus,
                                std::function<QString(const QString& pattern)> render) {
    menus_ = std::move(menus);
    render_ = std::move(render);
}

QList<FormatObject> FormatTokenField::objects() const {
    QList<FormatObject> all = objects_;
    if (!typing_->text().isEmpty()) {
        all << typing_->text();
    }
    return all;
}

void FormatTokenField::setObjects(const QList<FormatObject>& objects) {
    objects_ = objects;
    typing_->clear();
    rebuild();
    emit objectsChanged();
}

FormatObject FormatTokenField::representedObjectForEditingString(const QString& text,
                                                                 int source) const {
    if (source >= 0 && source < static_cast<int>(sources_.size())) {
        TokenString token = sources_[static_cast<std::size_t>(source)];
        token.name = text;
        return token;
    }
    for (const TokenString& candidate : sources_) {
        if (candidate.name == text) {
            return candidate;
        }
    }
    return text;
}

void FormatTokenField::commitTyping() {
    if (!typing_->text().isEmpty()) {
        objects_ << typing_->text();
        typing_->clear();
    }
}

void FormatTokenField::append(const FormatObject& object) {
    commitTyping();
    objects_ << object;
    rebuild();
    emit objectsChanged();
}

bool FormatTokenField::dropMimeData(const QMimeData& mime) {
    if (!mime.hasText() || mime.text().isEmpty()) {
        return false;
    }
    bool ok = false;
    const int source = mime.hasFormat(sourceMimeType())
                           ? QString::fromLatin1(mime.data(sourceMimeType())).toInt(&ok)
                           : -1;
    append(representedObjectForEditingString(mime.text(), ok ? source : -1));
    return true;
}

bool FormatTokenField::chooseAlternative(int index, int alternative) {
    if (index < 0 || index >= objects_.size()) {
        return false;
    }
    auto* token = std::get_if<TokenString>(&objects_[index]);
    if (token == nullptr || token->hasMenu != 1) {
        return false;
    }
    const auto menu = menus_.constFind(token->MenuType);
    if (menu == menus_.constEnd() || alternative < 0 ||
        alternative >= static_cast<int>(menu->size())) {
        return false;
    }
    const FormatAlternative& chosen = (*menu)[static_cast<std::size_t>(alternative)];
    token->pattern = chosen.pattern;
    token->name = render_ ? render_(chosen.pattern) : chosen.title;
    if (token->name.isEmpty()) {
        token->name = chosen.title;
    }
    rebuild();
    emit objectsChanged();
    return true;
}

QMenu* FormatTokenField::menuForObject(int index) {
    if (index < 0 || index >= chips_.size()) {
        return nullptr;
    }
    auto* chip = qobject_cast<QToolButton*>(chips_[index].data());
    return chip != nullptr ? chip->menu() : nullptr;
}

void FormatTokenField::rebuild() {
    for (const QPointer<QWidget>& chip : chips_) {
        delete chip.data();
    }
    chips_.clear();
    for (int i = 0; i < objects_.size(); ++i) {
        QWidget* chip = nullptr;
        if (const auto* token = std::get_if<TokenString>(&objects_[i])) {
            auto* button = new QToolButton(this);
            button->setText(token->name);
            button->setStyleSheet(QLatin1String(kTokenStyle));
            button->setToolTip(token->pattern);
            const auto menu = menus_.constFind(token->MenuType);
            if (token->hasMenu == 1 && menu != menus_.constEnd()) {
                auto* choices = new QMenu(button);
                for (std::size_t a = 0; a < menu->size(); ++a) {
                    QAction* action = choices->addAction((*menu)[a].title);
                    action->setCheckable(true);
                    action->setChecked((*menu)[a].pattern == token->pattern);
                    connect(action, &QAction::triggered, this, [this, i, a] {
                        // The chips are rebuilt by the choice: leave the menu first.
                        QMetaObject::invokeMethod(
                            this, [this, i, a] { chooseAlternative(i, static_cast<int>(a)); },
                            Qt::QueuedConnection);
                    });
                }
                button->setMenu(choices);
                button->setPopupMode(QToolButton::InstantPopup);
            }
            chip = button;
        } else {
            auto* text = new QLabel(std::get<QString>(objects_[i]), this);
            text->setTextFormat(Qt::PlainText);
            chip = text;
        }
        chip->setObjectName(QStringLiteral("object%1").arg(i));
        row_->insertWidget(i, chip);
        chips_ << chip;
    }
}

void FormatTokenField::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasText()) {
        event->acceptProposedAction();
    }
}

void FormatTokenField::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasText()) {
        event->acceptProposedAction();
    }
}

void FormatTokenField::dropEvent(QDropEvent* event) {
    if (dropMimeData(*event->mimeData())) {
        event->acceptProposedAction();
    }
}

bool FormatTokenField::eventFilter(QObject* watched, QEvent* event) {
    if (watched == typing_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Backspace && typing_->text().isEmpty() && !objects_.isEmpty()) {
            objects_.removeLast();
            rebuild();
            emit objectsChanged();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

FormatTokenSourceLabel::FormatTokenSourceLabel(int index, const QString& sample, QWidget* parent)
    : QLabel(sample, parent), index_(index) {
    setTextFormat(Qt::PlainText);
    setFrameShape(QFrame::StyledPanel);
    setAlignment(Qt::AlignCenter);
    setMinimumWidth(40);
    setCursor(Qt::OpenHandCursor);
    setToolTip(tr("Drag into the format field, or double-click"));
}

QMimeData* FormatTokenSourceLabel::makeMimeData() const {
    auto* mime = new QMimeData;
    mime->setText(text());
    mime->setData(FormatTokenField::sourceMimeType(), QByteArray::number(index_));
    return mime;
}

void FormatTokenSourceLabel::mousePressEvent(QMouseEvent* event) {
    pressedAt_ = event->position().toPoint();
    QLabel::mousePressEvent(event);
}

void FormatTokenSourceLabel::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) ||
        (event->position().toPoint() - pressedAt_).manhattanLength() <
            QApplication::startDragDistance()) {
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(makeMimeData());
    drag->exec(Qt::CopyAction);
}

void FormatTokenSourceLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    emit activated(index_);
    QLabel::mouseDoubleClickEvent(event);
}

}  // namespace talvor
