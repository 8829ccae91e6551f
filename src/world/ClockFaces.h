#pragma once

#include <QImage>
#include <QString>

#include <optional>

namespace talvor::ClockFaces {

// The picture a face type shows, by resource name and kind.
struct Resource {
    QString name;
    QString kind;
    bool operator==(const Resource&) const = default;
};

// Types 1-21 have pictures of their own (4 and 5 share one); any other type but -1 shows
// "ClockFace1", which is also the plain face of the flag type when a flag is missing.
std::optional<Resource> resourceForType(int type);

// Grey level of the hands on a face type: white on the dark faces (3, 7, 11, 16, 20),
// 0.8 on type 5, black elsewhere.
float handGreyForType(int type);

// Our own picture of the face resource `name` (drawn, not loaded): a square of `pixels`
// with a transparent outside; null for a name that is no face of ours. The dial's middle
// (out to 0.8 of the radius) is left plain on the faces the hands are drawn over most.
QImage drawFace(const QString& name, int pixels = 256);

// The face image of a type, through one shared cache that remembers the last type asked
// for: the same type again gives the cached picture, -1 empties the cache (null result),
// any other type makes its picture; a type whose picture cannot be made gives null and
// leaves the cache as it was. Main thread only.
QImage clockFaceImage(int type);

}  // namespace talvor::ClockFaces
