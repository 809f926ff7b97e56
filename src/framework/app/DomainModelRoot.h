#pragma once
// The root of the program's domain model: what start-up learned about the environment and where
// the partner proxy programs lie. Written on the main thread during pre-initialisation, read after.

#include <string>

#include "framework/config/Environment.h"

namespace kvx::domain::model {

// Full paths; empty when the program's directory was not found.
struct PartnerProxyPaths {
    std::string steamProxy;       // "KorvSteamProxy.exe"
    std::string steamAuthHelper;  // "KorvSteamAuthHelper.exe"
    std::string egsProxy;         // "KorvEgsProxy.exe"
};

class DomainModelRoot {
public:
    EnvironmentState& environment() { return mEnvironment; }
    const EnvironmentState& environment() const { return mEnvironment; }

    void setPartnerProxyPaths(PartnerProxyPaths paths) { mPartnerProxyPaths = std::move(paths); }
    const PartnerProxyPaths& partnerProxyPaths() const { return mPartnerProxyPaths; }

private:
    EnvironmentState mEnvironment;
    PartnerProxyPaths mPartnerProxyPaths;
};

}  // namespace kvx::domain::model
