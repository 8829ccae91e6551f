#pragma once

#include "Date.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>
#include <ranges>

namespace talvor::platform {

// Keyed archives of model objects. An archive is a binary property list whose root is a
// dictionary of key -> value with a "$class" entry naming the archived class; an object
// inside it is a nested dictionary with its own "$class", a list of objects an array of them.
//
// An archivable class T provides
//   static QString archiveClassName();
//   void encodeWithCoder(KeyedArchiver& coder) const;
//   static std::optional<T> initWithCoder(const KeyedUnarchiver& coder);
class KeyedArchiver {
  public:
    explicit KeyedArchiver(const QString& className);

    // Encoding a key again replaces its value. "$class" is reserved: values under it are
    // ignored. Dates keep millisecond precision, between the years 1 and 9999.
    void encodeBool(const QString& key, bool value);
    void encodeInt32(const QString& key, qint32 value);
    void encodeInt64(const QString& key, qint64 value);
    void encodeFloat(const QString& key, float value);
    void encodeDouble(const QString& key, double value);
    // A string holding U+0000 cannot be stored, and is left out.
    void encodeString(const QString& key, const QString& value);
    void encodeData(const QString& key, const QByteArray& value);
    void encodeDate(const QString& key, Date value);
    // Any property-list value (see PropertyList::normalized); false, storing nothing, when
    // `value` is not one.
    bool encodeValue(const QString& key, const QVariant& value);

    template <class T>
    void encodeObject(const QString& key, const T& object) {
        putEncoded(key, QVariant(encoded(object)));
    }

    template <std::ranges::input_range R>
    void encodeObjects(const QString& key, const R& objects) {
        QVariantList list;
        for (const auto& object : objects) {
            list.append(QVariant(encoded(object)));
        }
        putEncoded(key, QVariant(list));
    }

    // The binary property list; empty when it cannot be written (objects nested deeper
    // than a property list may hold).
    QByteArray archivedData() const;

    template <class T>
    static QByteArray archivedDataWithRootObject(const T& object) {
        KeyedArchiver coder(T::archiveClassName());
        object.encodeWithCoder(coder);
        return coder.archivedData();
    }

  private:
    template <class T>
    static QVariantMap encoded(const T& object) {
        KeyedArchiver coder(T::archiveClassName());
        object.encodeWithCoder(coder);
        return coder.values_;
    }
    bool put(const QString& key, const QVariant& value);
    // For encoded objects, which hold only property-list values already: their nesting is
    // checked once, when the archive is written.
    void putEncoded(const QString& key, QVariant value);

    QVariantMap values_;
};

// Reads what KeyedArchiver wrote. Decoders follow the original system's keyed coders: an absent
// key reads as false, 0, an empty value or nullopt, and so does a value of another type.
// Types: a bool is not an integer; the real decoders also read integers; an integer out of
// qint32's range reads as absent (0) in decodeInt32; a real beyond float's range reads as
// infinity in decodeFloat.
class KeyedUnarchiver {
  public:
    // Only binary property lists are archives: XML, garbage, damaged data, a root that is
    // not a dictionary or one without a "$class" string give nullopt and an error text.
    static std::optional<KeyedUnarchiver> fromData(const QByteArray& data,
                                                   QString* error = nullptr);

    QString className() const { return className_; }
    bool containsValueForKey(const QString& key) const { return values_.contains(key); }

    bool decodeBool(const QString& key) const;
    qint32 decodeInt32(const QString& key) const;
    qint64 decodeInt64(const QString& key) const;
    float decodeFloat(const QString& key) const;
    double decodeDouble(const QString& key) const;
    QString decodeString(const QString& key) const;
    QByteArray decodeData(const QString& key) const;
    std::optional<Date> decodeDate(const QString& key) const;
    // The stored property-list value as it is; invalid when absent.
    QVariant decodeValue(const QString& key) const;

    // nullopt when the key holds no object of T's class, or T refuses it.
    template <class T>
    std::optional<T> decodeObject(const QString& key) const {
        const std::optional<KeyedUnarchiver> coder =
            objectCoder(values_.value(key), T::archiveClassName());
        return coder ? T::initWithCoder(*coder) : std::nullopt;
    }

    // The objects of T's class in the array under `key`; other elements are skipped.
    template <class T>
    QList<T> decodeObjects(const QString& key) const {
        QList<T> objects;
        for (const KeyedUnarchiver& coder : objectCoders(key, T::archiveClassName())) {
            if (std::optional<T> object = T::initWithCoder(coder)) {
                objects.append(std::move(*object));
            }
        }
        return objects;
    }

    template <class T>
    static std::optional<T> unarchiveObjectWithData(const QByteArray& data) {
        const std::optional<KeyedUnarchiver> coder = fromData(data);
        if (!coder || coder->className() != T::archiveClassName()) {
            return std::nullopt;
        }
        return T::initWithCoder(*coder);
    }

  private:
    KeyedUnarchiver(QString className, QVariantMap values)
        : className_(std::move(className)), values_(std::move(values)) {}
    // A coder for `value` when it is an object dictionary of class `className`.
    static std::optional<KeyedUnarchiver> objectCoder(const QVariant& value,
                                                      const QString& className);
    // Coders for the elements of the array under `key` that are objects of `className`.
    QList<KeyedUnarchiver> objectCoders(const QString& key, const QString& className) const;

    QString className_;
    QVariantMap values_;
};

}  // namespace talvor::platform
