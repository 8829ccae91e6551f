#include "BaseNode.h"

#include "platform/KeyedArchiver.h"

#include <QBuffer>
#include <QDir>

#include <algorithm>
#include <stdexcept>

namespace talvor {
namespace {

const QString kNodeTitle = QStringLiteral("nodeTitle");
const QString kIsLeaf = QStringLiteral("isLeaf");
const QString kChildren = QStringLiteral("children");
const QString kNodeIcon = QStringLiteral("nodeIcon");
const QString kUrlString = QStringLiteral("urlString");
const QString kNib = QStringLiteral("nib");
const QString kDescription = QStringLiteral("description");
const QString kHasCheckBox = QStringLiteral("hasCheckBox");

bool holds(const BaseNode::NodeList& nodes, const BaseNode* node) {
    return std::any_of(nodes.begin(), nodes.end(),
                       [node](const BaseNode::Ptr& n) { return n.get() == node; });
}

int indexOf(const BaseNode::NodeList& nodes, const BaseNode* node) {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].get() == node) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QByteArray pngData(const QImage& image) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

QImage imageFrom(const QVariant& value) {
    if (value.typeId() == QMetaType::QByteArray) {
        return QImage::fromData(value.toByteArray(), "PNG");
    }
    return value.value<QImage>();
}

bool isNil(const QVariant& value) {
    return !value.isValid();
}

}  // namespace

BaseNode::BaseNode() : nodeTitle_(QStringLiteral("BaseNode Untitled")) {}

BaseNode::~BaseNode() = default;

BaseNode::Ptr BaseNode::initLeaf() {
    auto node = std::make_shared<BaseNode>();
    node->setLeaf(true);
    return node;
}

void BaseNode::setNodeIcon(const QImage& icon) {
    if (icon != nodeIcon_) {
        nodeIcon_ = icon;
    }
}

void BaseNode::setChildren(const NodeList& children) {
    if (!isLeaf_) {
        children_ = children;
    }
}

void BaseNode::setLeaf(bool leaf) {
    isLeaf_ = leaf;
    children_.clear();
}

void BaseNode::setURL(const QString& url) {
    if (url != urlString_ || url.isNull() != urlString_.isNull()) {
        urlString_ = url;
    }
}

int BaseNode::compare(const BaseNode& other) const {
    const int c = nodeTitle_.toLower().compare(other.nodeTitle_.toLower());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool BaseNode::isDraggable() const {
    return !QDir::isAbsolutePath(urlString_) && !nodeIcon_.isNull();
}

BaseNode::Ptr BaseNode::parentFromArray(const NodeList& nodes) const {
    for (const Ptr& node : nodes) {
        if (node.get() == this) {
            return nullptr;
        }
        if (holds(node->children_, this)) {
            return node;
        }
        if (!node->isLeaf_) {
            if (Ptr parent = parentFromArray(node->children_)) {
                return parent;
            }
        }
    }
    return nullptr;
}

void BaseNode::removeObjectFromChildren(const BaseNode* object) {
    for (std::size_t i = 0; i < children_.size(); ++i) {
        if (children_[i].get() == object) {
            children_.erase(children_.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
        if (!children_[i]->isLeaf_) {
            children_[i]->removeObjectFromChildren(object);
        }
    }
}

BaseNode::NodeList BaseNode::descendants() const {
    NodeList result;
    for (const Ptr& child : children_) {
        result.push_back(child);
        if (!child->isLeaf_) {
            const NodeList below = child->descendants();
            result.insert(result.end(), below.begin(), below.end());
        }
    }
    return result;
}

BaseNode::NodeList BaseNode::allChildLeafs() const {
    NodeList result;
    for (const Ptr& child : children_) {
        if (child->isLeaf_) {
            result.push_back(child);
        } else {
            const NodeList below = child->allChildLeafs();
            result.insert(result.end(), below.begin(), below.end());
        }
    }
    return result;
}

BaseNode::NodeList BaseNode::groupChildren() const {
    NodeList result;
    std::copy_if(children_.begin(), children_.end(), std::back_inserter(result),
                 [](const Ptr& child) { return !child->isLeaf_; });
    return result;
}

bool BaseNode::isDescendantOfOrOneOfNodes(const NodeList& nodes) const {
    return holds(nodes, this) || isDescendantOfNodes(nodes);
}

bool BaseNode::isDescendantOfNodes(const NodeList& nodes) const {
    return std::any_of(nodes.begin(), nodes.end(), [this](const Ptr& node) {
        return !node->isLeaf_ && isDescendantOfOrOneOfNodes(node->children_);
    });
}

std::optional<std::vector<int>> BaseNode::indexPathInArray(const NodeList& root) const {
    std::vector<int> path;
    const BaseNode* current = this;
    for (Ptr parent = current->parentFromArray(root); parent;
         parent = current->parentFromArray(root)) {
        const int index = indexOf(parent->children_, current);
        if (index < 0) {
            return std::nullopt;
        }
        path.push_back(index);
        current = parent.get();
    }
    const int top = indexOf(root, current);
    if (top < 0) {
        return std::nullopt;
    }
    path.push_back(top);
    std::reverse(path.begin(), path.end());
    return path;
}

QStringList BaseNode::mutableKeys() const {
    return {kNodeTitle, kIsLeaf, kChildren, kNodeIcon, kUrlString};
}

QVariant BaseNode::valueForKey(const QString& key) const {
    if (key == kNodeTitle) {
        return nodeTitle_.isNull() ? QVariant() : QVariant(nodeTitle_);
    }
    if (key == kIsLeaf) {
        return isLeaf_;
    }
    if (key == kChildren) {
        return QVariant::fromValue(children_);
    }
    if (key == kNodeIcon) {
        return nodeIcon_.isNull() ? QVariant() : QVariant(nodeIcon_);
    }
    if (key == kUrlString) {
        return urlString_.isNull() ? QVariant() : QVariant(urlString_);
    }
    return {};
}

void BaseNode::setValueForKey(const QVariant& value, const QString& key) {
    if (key == kIsLeaf) {
        if (isNil(value)) {
            setNilValueForKey(key);
        } else {
            setLeaf(value.toBool());
        }
    } else if (key == kNodeTitle) {
        setNodeTitle(value.toString());
    } else if (key == kChildren) {
        setChildren(value.value<NodeList>());
    } else if (key == kNodeIcon) {
        setNodeIcon(imageFrom(value));
    } else if (key == kUrlString) {
        setURL(value.toString());
    }
}

void BaseNode::setNilValueForKey(const QString& key) {
    if (key == kIsLeaf) {
        setLeaf(false);
        return;
    }
    throw std::invalid_argument("no value for the key " + key.toStdString());
}

void BaseNode::initWithDictionary(const QVariantMap& dictionary) {
    for (const QString& key : mutableKeys()) {
        if (key == kChildren) {
            continue;
        }
        if (dictionary.contains(key)) {
            setValueForKey(dictionary.value(key), key);
        }
    }
    if (dictionary.value(kIsLeaf).toBool()) {
        setLeaf(true);
        return;
    }
    NodeList children;
    for (const QVariant& child : dictionary.value(kChildren).toList()) {
        Ptr node = makeNode();
        node->initWithDictionary(child.toMap());
        children.push_back(std::move(node));
    }
    setChildren(children);
}

QVariantMap BaseNode::dictionaryRepresentation() const {
    QVariantMap dictionary;
    for (const QString& key : mutableKeys()) {
        if (key == kChildren) {
            if (!isLeaf_) {
                QVariantList children;
                for (const Ptr& child : children_) {
                    children.append(child->dictionaryRepresentation());
                }
                dictionary.insert(key, children);
            }
        } else if (const QVariant value = valueForKey(key); value.isValid()) {
            dictionary.insert(key, value);
        }
    }
    return dictionary;
}

QVariantMap BaseNode::codedDictionary() const {
    QVariantMap dictionary = dictionaryRepresentation();
    if (!nodeIcon_.isNull()) {
        dictionary.insert(kNodeIcon, pngData(nodeIcon_));
    }
    if (!isLeaf_) {
        QVariantList children;
        for (const Ptr& child : children_) {
            children.append(child->codedDictionary());
        }
        dictionary.insert(kChildren, children);
    }
    return dictionary;
}

void BaseNode::encodeWithCoder(platform::KeyedArchiver& coder) const {
    const QVariantMap dictionary = codedDictionary();
    for (auto it = dictionary.begin(); it != dictionary.end(); ++it) {
        coder.encodeValue(it.key(), it.value());
    }
}

void BaseNode::initWithCoder(const platform::KeyedUnarchiver& coder) {
    QVariantMap dictionary;
    for (const QString& key : mutableKeys()) {
        if (coder.containsValueForKey(key)) {
            dictionary.insert(key, coder.decodeValue(key));
        }
    }
    initWithDictionary(dictionary);
}

QByteArray BaseNode::archivedData() const {
    platform::KeyedArchiver coder(className());
    encodeWithCoder(coder);
    return coder.archivedData();
}

BaseNode::Ptr BaseNode::unarchive(const QByteArray& data) {
    const std::optional<platform::KeyedUnarchiver> coder =
        platform::KeyedUnarchiver::fromData(data);
    if (!coder) {
        return nullptr;
    }
    Ptr node;
    if (coder->className() == QLatin1String("BaseNode")) {
        node = std::make_shared<BaseNode>();
    } else if (coder->className() == QLatin1String("tlChildNode")) {
        node = std::make_shared<tlChildNode>();
    } else {
        return nullptr;
    }
    node->initWithCoder(*coder);
    return node;
}

BaseNode::Ptr BaseNode::copy() const {
    Ptr node = makeNode();
    for (const QString& key : mutableKeys()) {
        const QVariant value = valueForKey(key);
        if (value.isValid()) {
            node->setValueForKey(value, key);
        } else if (key != kIsLeaf) {
            node->setValueForKey(QVariant(), key);
        }
    }
    return node;
}

tlChildNode::tlChildNode() {
    setNodeTitle(QStringLiteral(""));
    description_ = QStringLiteral("");
}

QStringList tlChildNode::mutableKeys() const {
    return BaseNode::mutableKeys() + QStringList{kNib, kDescription, kHasCheckBox};
}

QVariant tlChildNode::valueForKey(const QString& key) const {
    if (key == kNib) {
        return nib_.isNull() ? QVariant() : QVariant(nib_);
    }
    if (key == kDescription) {
        return description_.isNull() ? QVariant() : QVariant(description_);
    }
    if (key == kHasCheckBox) {
        return hasCheckBox_;
    }
    return BaseNode::valueForKey(key);
}

void tlChildNode::setValueForKey(const QVariant& value, const QString& key) {
    if (key == kNib) {
        nib_ = value.toString();
    } else if (key == kDescription) {
        description_ = value.toString();
    } else if (key == kHasCheckBox) {
        if (isNil(value)) {
            setNilValueForKey(key);
        } else {
            hasCheckBox_ = value.toBool();
        }
    } else {
        BaseNode::setValueForKey(value, key);
    }
}

}  // namespace talvor
