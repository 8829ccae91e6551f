#include "TalvorURL.h"

namespace talvor::TalvorURL {

int compare(const QUrl& url, const QUrl& other) {
    const int c = url.toString(QUrl::FullyEncoded).compare(other.toString(QUrl::FullyEncoded));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace talvor::TalvorURL
