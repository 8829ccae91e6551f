#pragma once

#include <QUrl>

namespace talvor::TalvorURL {

// compare: orders two URLs by their full (encoded) text: -1, 0 or 1.
int compare(const QUrl& url, const QUrl& other);

}  // namespace talvor::TalvorURL
