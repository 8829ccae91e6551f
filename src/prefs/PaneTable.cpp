#include "PaneTable.h"

#include "foundation/PreferenceDomain.h"
#include "widgets/ViewExtras.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

namespace talvor {

QString describe(const PaneCall& call) {
    return std::visit(
        PaneCallHandlers{
            [](const PaneRequest::UpdateMenu& r) {
                return QStringLiteral("UpdateMenu(%1)").arg(r.code);
            },
            [](const PaneRequest::OpenURL& r) {
                return QStringLiteral("openURL(%1)").arg(r.url.toString());
            },
            [](const PaneRequest::LocationTimeZoneSetup&) {
                return QStringLiteral("locationTimeZoneSetup()");
            },
            [](const PaneRequest::UpdateMenuBarItems&) {
                return QStringLiteral("updateMenuBarItems()");
            },
            [](const PaneRequest::UpdateTake5&) { return QStringLiteral("UpdateTake5()"); }},
        call);
}

PaneBinding PaneBinding::preferenceKey(const QString& key) {
    return {[key]() -> QVariant {
                const std::optional<qint64> value = PreferenceDomain::store().integerValue(key);
                return value ? QVariant(*value) : QVariant();
            },
            [key](const QVariant& value) {
                PreferenceDomain::writeInteger(key, value.toInt());
                PreferenceDomain::synchronize(QStringLiteral("storing %1 failed").arg(key));
            }};
}

PaneTable::PaneTable(const char* translationContext, std::vector<PaneRow> rows, PaneTableHost host)
    : context_(translationContext), rows_(std::move(rows)), host_(std::move(host)) {}

const PaneRow* PaneTable::row(const QString& id) const {
    for (const PaneRow& r : rows_) {
        if (r.id == id) {
            return &r;
        }
    }
    return nullptr;
}

QWidget* PaneTable::control(const QString& id) const {
    return controls_.value(id);
}

QString PaneTable::translate(const char* source) const {
    return QCoreApplication::translate(context_, source);
}

void PaneTable::setColumns(const char* section, int columns) {
    columns_.insert(QString::fromUtf8(section), std::max(1, columns));
}

QGroupBox* PaneTable::section(QWidget& view, QBoxLayout& layout, const char* title) {
    const QString key = QString::fromUtf8(title);
    if (QGroupBox* box = sections_.value(key)) {
        return box;
    }
    auto* box = new QGroupBox(ViewExtras::literalTitle(translate(title)), &view);
    new QGridLayout(box);
    layout.addWidget(box);
    sections_.insert(key, box);
    return box;
}

QWidget* PaneTable::makeControl(const PaneRow& row, QWidget& parent) {
    QWidget* made = nullptr;
    switch (row.kind) {
        case PaneRow::Kind::Check: {
            auto* box = new QCheckBox(ViewExtras::literalTitle(translate(row.label)), &parent);
            // `clicked`, not `toggled`: loading the box must not write anything back.
            QObject::connect(box, &QCheckBox::clicked, box,
                             [this, id = row.id](bool on) { apply(id, on); });
            made = box;
            break;
        }
        case PaneRow::Kind::Choice: {
            auto* menu = new QComboBox(&parent);
            for (const char* item : row.choices) {
                menu->addItem(translate(item));
            }
            QObject::connect(menu, &QComboBox::activated, menu,
                             [this, id = row.id](int index) { apply(id, index); });
            made = menu;
            break;
        }
        case PaneRow::Kind::Button: {
            auto* button = new QPushButton(ViewExtras::literalTitle(translate(row.label)), &parent);
            QObject::connect(button, &QPushButton::clicked, button,
                             [this, id = row.id] { apply(id); });
            made = button;
            break;
        }
    }
    made->setObjectName(row.id);
    return made;
}

void PaneTable::place(const PaneRow& row, QWidget* control, QWidget& view, QBoxLayout& layout) {
    const QString key = QString::fromUtf8(row.section);
    if (key.isEmpty()) {
        if (foot_ == nullptr) {
            foot_ = new QHBoxLayout();
            layout.addLayout(foot_);
            foot_->addWidget(control);
            foot_->addStretch(1);
        } else {
            foot_->addWidget(control);
        }
        return;
    }
    QGroupBox* box = section(view, layout, row.section);
    control->setParent(box);
    auto* grid = static_cast<QGridLayout*>(box->layout());
    const int columns = columns_.value(key, 1);
    // Rows follow what the section already holds.
    int& n = placed_[key];
    if (n == 0 && grid->count() > 0) {
        n = grid->rowCount() * columns;
    }
    if (row.kind == PaneRow::Kind::Choice) {
        // A pop-up takes a line of its own, after its label.
        const int line = (n + columns - 1) / columns;
        auto* label = new QLabel(translate(row.label), box);
        label->setBuddy(control);
        grid->addWidget(label, line, 0);
        grid->addWidget(control, line, 1, 1, std::max(1, columns - 1), Qt::AlignLeft);
        n = (line + 1) * columns;
        return;
    }
    const Qt::Alignment align = row.kind == PaneRow::Kind::Button ? Qt::AlignLeft : Qt::Alignment();
    grid->addWidget(control, n / columns, n % columns, align);
    ++n;
}

void PaneTable::build(QWidget& view, QBoxLayout& layout) {
    for (const PaneRow& row : rows_) {
        QWidget* made = makeControl(row, view);
        place(row, made, view, layout);
        controls_.insert(row.id, made);
    }
}

void PaneTable::load() {
    for (const PaneRow& row : rows_) {
        QWidget* w = control(row.id);
        if (w == nullptr || !row.binding.read) {
            continue;
        }
        QVariant value = row.binding.read();
        if (!value.isValid()) {
            value = row.defaultValue;
        }
        const QSignalBlocker quiet(w);
        if (auto* box = qobject_cast<QAbstractButton*>(w);
            box && row.kind == PaneRow::Kind::Check) {
            box->setChecked(value.toBool());
        } else if (auto* menu = qobject_cast<QComboBox*>(w)) {
            menu->setCurrentIndex(value.toInt());
        }
    }
}

QVariant PaneTable::shown(const QString& id) const {
    const PaneRow* r = row(id);
    QWidget* w = control(id);
    if (r == nullptr || w == nullptr) {
        return {};
    }
    switch (r->kind) {
        case PaneRow::Kind::Check:
            return static_cast<QAbstractButton*>(w)->isChecked();
        case PaneRow::Kind::Choice:
            return static_cast<QComboBox*>(w)->currentIndex();
        case PaneRow::Kind::Button:
            break;
    }
    return {};
}

void PaneTable::apply(const QString& id, const QVariant& value) {
    const PaneRow* r = row(id);
    if (r == nullptr) {
        return;
    }
    if (r->action) {
        r->action();
    }
    if (r->effects.store) {
        if (r->binding.write) {
            r->binding.write(value);
        } else if (host_.store) {
            host_.store();
        }
    }
    if (!r->effects.post.isEmpty() && host_.post) {
        host_.post(r->effects.post);
    }
    if (r->effects.call && host_.call) {
        host_.call(*r->effects.call);
    }
    if (r->effects.reload && host_.reload) {
        host_.reload();
    }
}

}  // namespace talvor
