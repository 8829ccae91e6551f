#include "MonthReference.h"

namespace talvor {

MonthReference::~MonthReference() {
    // Frees the rest of the chain in a loop: recursive destruction of a long chain could
    // exhaust the stack.
    std::shared_ptr<MonthReference> node = next_.exchange(nullptr);
    while (node && node.use_count() == 1) {
        node = node->next_.exchange(nullptr);
    }
}

}  // namespace talvor
