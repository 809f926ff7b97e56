#pragma once
// What stopping the suite needs to know of its install, which the layers above keep.

#include <string>

namespace kvx::apps::suite {

class SuiteInstall {
public:
    virtual ~SuiteInstall() = default;
    // Where the suite is installed, UTF-8; empty when unknown. Asked only when the processes under
    // it are looked for.
    virtual std::string installLocation() = 0;
    // Whether other launchers may use the suite; true when every change succeeded.
    virtual bool setThirdPartyAvailability(bool available) = 0;
};

}  // namespace kvx::apps::suite
