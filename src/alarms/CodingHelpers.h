#pragma once

#include "platform/KeyedArchiver.h"

#include <QString>

namespace talvor::alarms_coding {

// A text key of a record: null (the record's "none") when absent or not text.
inline QString decodeText(const platform::KeyedUnarchiver& coder, const QString& key) {
    const QVariant v = coder.decodeValue(key);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

// Leaves a null text out, so that it decodes as none again.
inline void encodeText(platform::KeyedArchiver& coder, const QString& key, const QString& text) {
    if (!text.isNull()) {
        coder.encodeString(key, text);
    }
}

}  // namespace talvor::alarms_coding
