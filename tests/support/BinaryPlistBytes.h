#pragma once

// Binary property lists made byte by byte, for the readers' tests: damage that no writer
// makes, shared objects, and lists far longer than a writer makes in a test's time.
#include <QByteArray>
#include <QList>

#include <bit>

namespace talvor::test {

inline QByteArray bigEndian(quint64 value, int width) {
    QByteArray out;
    for (int i = width - 1; i >= 0; --i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
    }
    return out;
}

// An object: its kind (the marker's high half), its count, then `payload`.
inline QByteArray bplistObject(uchar kind, quint64 count, const QByteArray& payload) {
    QByteArray out;
    if (count < 15) {
        out.append(static_cast<char>(kind | count));
    } else {
        out.append(static_cast<char>(kind | 0x0f));
        out.append(static_cast<char>(0x13));
        out.append(bigEndian(count, 8));
    }
    return out + payload;
}

// An array (0xa0) or a dictionary (0xd0, its keys' references first, then the values').
inline QByteArray bplistContainer(uchar kind, const QList<quint64>& refs, int refWidth) {
    QByteArray payload;
    for (quint64 r : refs) {
        payload.append(bigEndian(r, refWidth));
    }
    const quint64 count = kind == 0xd0 ? refs.size() / 2 : refs.size();
    return bplistObject(kind, count, payload);
}

// A whole list of `objects`, the first the root, with 8-byte offsets.
inline QByteArray binaryPlist(const QList<QByteArray>& objects, int refWidth) {
    QByteArray out("bplist00");
    QList<quint64> offsets;
    for (const QByteArray& object : objects) {
        offsets.append(out.size());
        out.append(object);
    }
    const quint64 table = out.size();
    for (quint64 offset : offsets) {
        out.append(bigEndian(offset, 8));
    }
    out.append(QByteArray(6, '\0'));
    out.append(static_cast<char>(8));
    out.append(static_cast<char>(refWidth));
    out.append(bigEndian(objects.size(), 8));
    out.append(bigEndian(0, 8));
    out.append(bigEndian(table, 8));
    return out;
}

// An export of `rows` location records, each its own town ("Town 0", "Town 1"...), in the
// zone America/Santiago, every second one floating; the texts and flags every row has are
// stored once and shared, as writers store them. Made here because libplist's writer takes
// many seconds for 100,000 rows.
inline QByteArray binaryLocationRows(qsizetype rows) {
    const quint64 firstTown = rows + 1;
    const quint64 empty = firstTown + rows;
    const quint64 chile = empty + 1, zone = empty + 2, hours = empty + 3, no = empty + 4,
                  yes = empty + 5;
    QList<QByteArray> objects;
    QList<quint64> rowRefs;
    for (qsizetype i = 0; i < rows; ++i) {
        rowRefs.append(quint64(1 + i));
    }
    objects.append(bplistContainer(0xa0, rowRefs, 4));
    for (qsizetype i = 0; i < rows; ++i) {
        objects.append(bplistContainer(0xa0,
                                       {empty, firstTown + i, empty, chile, zone, hours, empty,
                                        empty, empty, empty, no, i % 2 ? yes : no},
                                       4));
    }
    for (qsizetype i = 0; i < rows; ++i) {
        const QByteArray town = "Town " + QByteArray::number(i);
        objects.append(bplistObject(0x50, town.size(), town));
    }
    objects.append(bplistObject(0x50, 0, ""));
    objects.append(bplistObject(0x50, 5, "Chile"));
    objects.append(bplistObject(0x50, 16, "America/Santiago"));
    objects.append("\x23" + bigEndian(std::bit_cast<quint64>(-4.0), 8));
    objects.append("\x08");
    objects.append("\x09");
    return binaryPlist(objects, 4);
}

}  // namespace talvor::test
