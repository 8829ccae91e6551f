#include "InterfaceWatcher.h"

#include "Log.h"
#include "SystemServices.h"

namespace talvor::platform {
namespace {

class SilentInterfaceSource : public InterfaceChangeSource {
  public:
    void setChangeHandler(ChangeHandler) override {}
    QStringList currentKeys() const override { return {}; }
};

}  // namespace

QString interfaceKey(const QString& interfaceName, const QString& entity) {
    return QStringLiteral("State:/Network/Interface/%1/%2").arg(interfaceName, entity);
}

InterfaceChangeSource::~InterfaceChangeSource() = default;

std::unique_ptr<InterfaceChangeSource> InterfaceChangeSource::createSystemSource() {
    if (const auto& make = systemServices().interfaceChanges) {
        if (std::unique_ptr<InterfaceChangeSource> source = make()) {
            return source;
        }
    } else {
        log(QStringLiteral("Network interfaces: no system service; changes are not reported"));
    }
    return std::make_unique<SilentInterfaceSource>();
}

}  // namespace talvor::platform
