#include "ViewExtras.h"

#include "ColoredView.h"
#include "ImageFileWell.h"
#include "NamedColors.h"
#include "platform/PropertyList.h"

#include <QHash>
#include <QPainter>
#include <QPointer>

namespace talvor {
namespace snapshot {

QImage snapshot(QWidget& view) {
    return snapshotFromRect(view, view.rect());
}

QImage snapshotFromRect(QWidget& view, const QRect& rect) {
    view.ensurePolished();
    return view.grab(rect).toImage();
}

}  // namespace snapshot

namespace ViewExtras {
namespace {

QHash<QString, ViewCoding>& registry() {
    static QHash<QString, ViewCoding> classes = [] {
        QHash<QString, ViewCoding> known;
        known.insert(QStringLiteral("ColoredView"),
                     {[] { return std::make_unique<ColoredView>(); },
                      [](const QWidget& w) -> std::optional<QVariantList> {
                          const auto* v = qobject_cast<const ColoredView*>(&w);
                          return v ? std::optional(v->encodeWithCoder()) : std::nullopt;
                      },
                      [](QWidget& w, const QVariantList& values) {
                          auto* v = qobject_cast<ColoredView*>(&w);
                          return v != nullptr && v->initWithCoder(values);
                      }});
        known.insert(QStringLiteral("ImageFileWell"),
                     {[] { return std::make_unique<ImageFileWell>(); },
                      [](const QWidget& w) -> std::optional<QVariantList> {
                          const auto* v = qobject_cast<const ImageFileWell*>(&w);
                          return v ? std::optional(v->encodeWithCoder()) : std::nullopt;
                      },
                      [](QWidget& w, const QVariantList& values) {
                          auto* v = qobject_cast<ImageFileWell*>(&w);
                          return v != nullptr && v->initWithCoder(values);
                      }});
        return known;
    }();
    return classes;
}

}  // namespace

QString literalTitle(const QString& text) {
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void registerViewClass(const QString& className, ViewCoding coding) {
    registry().emplace(className, std::move(coding));
}

QByteArray cloneData(const QWidget& view) {
    const QString className =
        QString::fromLatin1(view.metaObject()->className()).section(QStringLiteral("::"), -1);
    const auto it = registry().constFind(className);
    if (it == registry().constEnd()) {
        return {};
    }
    const std::optional<QVariantList> own = it->encode(view);
    if (!own) {
        return {};
    }
    const QRect g = view.geometry();
    const QVariantList archive{
        className,
        QVariantList{qint64(g.x()), qint64(g.y()), qint64(g.width()), qint64(g.height())},
        view.isHidden(),
        view.isEnabled(),
        view.toolTip(),
        view.objectName(),
        *own};
    return platform::PropertyList::serialize(archive, platform::PropertyList::Format::Binary)
        .value_or(QByteArray());
}

std::unique_ptr<QWidget> clonedView(const QByteArray& data) {
    const std::optional<QVariant> parsed = platform::PropertyList::parse(data);
    if (!parsed || parsed->typeId() != QMetaType::QVariantList) {
        return nullptr;
    }
    const QVariantList archive = parsed->toList();
    if (archive.size() != 7) {
        return nullptr;
    }
    const auto it = registry().constFind(archive[0].toString());
    const QVariantList g = archive[1].toList();
    if (it == registry().constEnd() || g.size() != 4) {
        return nullptr;
    }
    std::unique_ptr<QWidget> view = it->make();
    view->setGeometry(g[0].toInt(), g[1].toInt(), g[2].toInt(), g[3].toInt());
    view->setHidden(archive[2].toBool());
    view->setEnabled(archive[3].toBool());
    view->setToolTip(archive[4].toString());
    view->setObjectName(archive[5].toString());
    if (!it->decode(*view, archive[6].toList())) {
        return nullptr;
    }
    return view;
}

std::unique_ptr<QWidget> clone(const QWidget& view) {
    return clonedView(cloneData(view));
}

}  // namespace ViewExtras

namespace DragHighlight {
namespace {

constexpr int kRingWidth = 3;
const char* const kRingProperty = "talvorDragHighlight";

class Ring : public QWidget {
  public:
    explicit Ring(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QPen pen(NamedColors::selectedControlColor(), kRingWidth);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.drawRect(QRectF(rect()).adjusted(kRingWidth / 2.0, kRingWidth / 2.0,
                                                 -kRingWidth / 2.0, -kRingWidth / 2.0));
    }
};

}  // namespace

QWidget* dragHighlightOf(const QWidget& view) {
    const auto ring = view.property(kRingProperty).value<QPointer<QWidget>>();
    return ring.data();
}

void drawDragHighlightOutside(QWidget& view, bool outside) {
    clearDragHighlightOutside(view);
    QWidget* host = outside ? view.parentWidget() : &view;
    if (host == nullptr) {
        return;
    }
    auto* ring = new Ring(host);
    ring->setGeometry(
        outside ? view.geometry().adjusted(-kRingWidth, -kRingWidth, kRingWidth, kRingWidth)
                : view.rect());
    ring->raise();
    ring->show();
    view.setProperty(kRingProperty, QVariant::fromValue(QPointer<QWidget>(ring)));
}

void clearDragHighlightOutside(QWidget& view) {
    if (QWidget* ring = dragHighlightOf(view)) {
        delete ring;
    }
    view.setProperty(kRingProperty, QVariant());
}

}  // namespace DragHighlight
}  // namespace talvor
