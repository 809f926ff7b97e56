#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <string>

#include "foundation/Logging.h"
#include "foundation/SystemLibrary.h"
#include "framework/config/WindowsConfigPlatform.h"

namespace kvx::apps {
namespace {

// crypt32 is not a KnownDLL: reached through SystemLibrary so it always comes from System32.
struct Crypt32 {
    decltype(&CertCreateCertificateContext) createContext = nullptr;
    decltype(&CertFreeCertificateContext) freeContext = nullptr;
    decltype(&CertOpenStore) openStore = nullptr;
    decltype(&CertCloseStore) closeStore = nullptr;
    decltype(&CertFindCertificateInStore) findInStore = nullptr;
    decltype(&CertAddCertificateContextToStore) addToStore = nullptr;
    decltype(&CertGetCertificateChain) getChain = nullptr;
    decltype(&CertFreeCertificateChain) freeChain = nullptr;

    bool load(const foundation::SystemLibrary& library) {
        return bind(library, createContext, "CertCreateCertificateContext") &&
               bind(library, freeContext, "CertFreeCertificateContext") && bind(library, openStore, "CertOpenStore") &&
               bind(library, closeStore, "CertCloseStore") &&
               bind(library, findInStore, "CertFindCertificateInStore") &&
               bind(library, addToStore, "CertAddCertificateContextToStore") &&
               bind(library, getChain, "CertGetCertificateChain") &&
               bind(library, freeChain, "CertFreeCertificateChain");
    }

    template <typename Fn>
    static bool bind(const foundation::SystemLibrary& library, Fn*& target, const char* name) {
        auto fn = library.function<Fn>(name);
        if (fn.isError()) {
            return false;
        }
        target = fn.unwrap();
        return true;
    }
};

// RAII owners for the certificate objects, released through the same loaded library.
struct Context {
    const Crypt32& api;
    PCCERT_CONTEXT context = nullptr;
    ~Context() {
        if (context != nullptr) {
            api.freeContext(context);
        }
    }
};
struct Store {
    const Crypt32& api;
    HCERTSTORE store = nullptr;
    ~Store() {
        if (store != nullptr) {
            api.closeStore(store, 0);
        }
    }
};
struct Chain {
    const Crypt32& api;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    ~Chain() {
        if (chain != nullptr) {
            api.freeChain(chain);
        }
    }
};

PCCERT_CONTEXT createFrom(const Crypt32& api, const resources::ResourceManager& resources, const char* path) {
    auto der = resources.lookup(path);
    if (der.isError() || der.peek().empty()) {
        return nullptr;
    }
    const std::string& bytes = der.peek();
    return api.createContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size()));
}

bool rootInMachineStore(const Crypt32& api, const Context& root) {
    Store machineRoot{api, api.openStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                         CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, L"ROOT")};
    if (machineRoot.store == nullptr) {
        return false;
    }
    Context found{api, api.findInStore(machineRoot.store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                       CERT_FIND_EXISTING, root.context, nullptr)};
    return found.context != nullptr;
}

bool chainValidates(const Crypt32& api, const Context& leaf, const Context& intermediate, const Context& root) {
    Store extra{api, api.openStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr)};
    if (extra.store == nullptr || leaf.context == nullptr || intermediate.context == nullptr ||
        !api.addToStore(extra.store, intermediate.context, CERT_STORE_ADD_ALWAYS, nullptr) ||
        !api.addToStore(extra.store, root.context, CERT_STORE_ADD_ALWAYS, nullptr)) {
        return false;
    }
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof(parameters);
    Chain chain{api};
    if (!api.getChain(nullptr, leaf.context, nullptr, extra.store, &parameters, 0, nullptr, &chain.chain)) {
        return false;
    }
    return chain.chain->TrustStatus.dwErrorStatus == CERT_TRUST_NO_ERROR;
}

}  // namespace

bool developerCertificateTrusted(const resources::ResourceManager& resources) {
    // Release builds ship no developer certificates: nothing to trust, no library to load.
    if (!resources.exists(":/certs/ca.crt")) {
        return false;
    }
    auto library = foundation::SystemLibrary::load(L"crypt32.dll");
    Crypt32 api;
    if (library.isError() || !api.load(library.peek())) {
        KVX_LOG_WARN("crypt32 unavailable; developer configuration disabled");
        return false;
    }
    Context root{api, createFrom(api, resources, ":/certs/ca.crt")};
    if (root.context == nullptr) {
        return false;
    }
    if (rootInMachineStore(api, root)) {
        return true;
    }
    Context leaf{api, createFrom(api, resources, ":/certs/debug.crt")};
    Context intermediate{api, createFrom(api, resources, ":/certs/debug-intermediate.crt")};
    return chainValidates(api, leaf, intermediate, root);
}

}  // namespace kvx::apps
