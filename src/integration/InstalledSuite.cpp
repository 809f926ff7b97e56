#include "integration/InstalledSuite.h"

#include "integration/InstallLocation.h"
#include "integration/ThirdPartyAvailability.h"

namespace kvx::apps::suite {
namespace {

class InstalledSuite final : public SuiteInstall {
public:
    std::string installLocation() override { return utils::getInstallLocation(); }
    bool setThirdPartyAvailability(bool available) override {
        return suite::setThirdPartyAvailability(available);
    }
};

}  // namespace

SuiteInstall& installedSuite() {
    static InstalledSuite suite;
    return suite;
}

}  // namespace kvx::apps::suite
