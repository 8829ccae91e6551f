// Stand-in for the location picker so that its users build; it adds nothing.
#include "TalvorMyAddressPanel.h"

namespace talvor {

TalvorMyAddressPanel::TalvorMyAddressPanel(QObject* parent) : QObject(parent) {}

TalvorMyAddressPanel::~TalvorMyAddressPanel() = default;

void TalvorMyAddressPanel::beginSheet(QWidget* /*parent*/,
                                      std::function<void(const QVariantList& record)> /*added*/,
                                      std::function<void()> finished) {
    if (finished) {
        finished();
    }
}

QWidget* TalvorMyAddressPanel::window() const { return nullptr; }

}  // namespace talvor
