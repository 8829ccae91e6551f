#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>
#include <vector>

namespace talvor {

namespace platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace platform

// A node of an outline: a title, an icon, a URL, and children unless it is a leaf. A leaf
// has no children (the outline shows none under it). Nodes are compared by identity where
// the tree is searched. Make nodes with std::make_shared.
class BaseNode : public std::enable_shared_from_this<BaseNode> {
  public:
    using Ptr = std::shared_ptr<BaseNode>;
    using NodeList = std::vector<Ptr>;

    BaseNode();  // title "BaseNode Untitled", no children, not a leaf
    virtual ~BaseNode();
    static Ptr initLeaf();

    const QString& nodeTitle() const { return nodeTitle_; }
    void setNodeTitle(const QString& title) { nodeTitle_ = title; }
    const QImage& nodeIcon() const { return nodeIcon_; }
    void setNodeIcon(const QImage& icon);
    const NodeList& children() const { return children_; }
    // A leaf keeps no children.
    void setChildren(const NodeList& children);
    bool isLeaf() const { return isLeaf_; }
    // A leaf loses its children.
    void setLeaf(bool leaf);
    const QString& urlString() const { return urlString_; }
    void setURL(const QString& url);

    // Case-insensitive order by title: -1, 0 or 1.
    int compare(const BaseNode& other) const;
    // An icon and a URL that is not an absolute path.
    bool isDraggable() const;

    // The node among `nodes` and their descendants whose children hold this one; null when
    // it is not found, or when this node stands in a searched list itself.
    Ptr parentFromArray(const NodeList& nodes) const;
    // Removes `object` from the children, or else from the first group below that holds it.
    void removeObjectFromChildren(const BaseNode* object);
    // Children depth first, each before its own descendants.
    NodeList descendants() const;
    NodeList allChildLeafs() const;
    // The direct children that are not leaves.
    NodeList groupChildren() const;
    bool isDescendantOfOrOneOfNodes(const NodeList& nodes) const;
    bool isDescendantOfNodes(const NodeList& nodes) const;
    // The indexes from the root list down to this node; none when it is not in the tree.
    std::optional<std::vector<int>> indexPathInArray(const NodeList& root) const;

    // Key-value form. Keys: "nodeTitle", "isLeaf", "children" (a NodeList), "nodeIcon"
    // (a QImage), "urlString".
    virtual QStringList mutableKeys() const;
    virtual QVariant valueForKey(const QString& key) const;
    // An invalid value clears a text or icon; for a flag it is setNilValueForKey.
    virtual void setValueForKey(const QVariant& value, const QString& key);
    // "isLeaf" becomes false; other keys cannot take nothing (std::invalid_argument).
    virtual void setNilValueForKey(const QString& key);

    // Takes the keys present in the dictionary. A leaf gets no children; otherwise each
    // child dictionary becomes a node of this node's own class. An icon may be a QImage or
    // PNG data.
    void initWithDictionary(const QVariantMap& dictionary);
    // Every key with a value; children (as dictionaries) only for a group.
    QVariantMap dictionaryRepresentation() const;

    // Each key by name; icons as PNG data.
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    void initWithCoder(const platform::KeyedUnarchiver& coder);
    QByteArray archivedData() const;
    // A node of the archived class ("BaseNode" or "tlChildNode"); null for anything else.
    static Ptr unarchive(const QByteArray& data);

    // A node of the same class with every key's value; the children are shared, not copied.
    Ptr copy() const;

    virtual QString className() const { return QStringLiteral("BaseNode"); }
    // A new, empty node of this node's class.
    virtual Ptr makeNode() const { return std::make_shared<BaseNode>(); }

  private:
    QVariantMap codedDictionary() const;

    QString nodeTitle_;
    NodeList children_;
    bool isLeaf_ = false;
    QImage nodeIcon_;
    QString urlString_;
};

// A node that names a settings page: its interface (`nib`), a description, an extra text
// for the page's own use, and whether the outline shows a check box beside it.
class tlChildNode : public BaseNode {
  public:
    tlChildNode();  // empty title and description

    const QString& description() const { return description_; }
    void setDescription(const QString& text) { description_ = text; }
    const QString& nib() const { return nib_; }
    void setNib(const QString& nib) { nib_ = nib; }
    const QString& extra() const { return extra_; }
    void setExtra(const QString& extra) { extra_ = extra; }
    bool hasCheckBox() const { return hasCheckBox_; }
    void setHasCheckBox(bool on) { hasCheckBox_ = on; }

    // The base keys, then "nib", "description", "hasCheckBox".
    QStringList mutableKeys() const override;
    QVariant valueForKey(const QString& key) const override;
    void setValueForKey(const QVariant& value, const QString& key) override;

    QString className() const override { return QStringLiteral("tlChildNode"); }
    Ptr makeNode() const override { return std::make_shared<tlChildNode>(); }

  private:
    QString description_;
    QString nib_;
    QString extra_;
    bool hasCheckBox_ = false;
};

}  // namespace talvor

Q_DECLARE_METATYPE(talvor::BaseNode::NodeList)
