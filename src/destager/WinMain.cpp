// Entry of KorvDestager.exe: a windowless program whose whole work is app_main.

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "destager/AppMain.h"
#include "foundation/SystemLibrary.h"
#include "foundation/TextConversion.h"
#include "foundation/win/SystemMemory.h"

namespace {

// The UTF-8 arguments and the pointer array app_main reads; empty when the command line cannot be split.
struct Utf8Arguments {
    std::vector<std::string> values;
    std::vector<const char*> pointers;
};

Utf8Arguments commandLineArguments() {
    Utf8Arguments arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    const kvx::WinUtils::UniqueLocalMemory<LPWSTR*> owned(wide);
    if (!owned) {
        return arguments;
    }
    for (int i = 0; i < count; ++i) {
        arguments.values.push_back(kvx::foundation::narrow(wide[i], KVX_SOURCE_LOCATION));
    }
    for (const std::string& value : arguments.values) {
        arguments.pointers.push_back(value.c_str());
    }
    arguments.pointers.push_back(nullptr);
    return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // First of all: the destager runs elevated from a folder an unelevated program wrote, so no DLL
    // may ever be loaded from there.
    kvx::foundation::restrictDllSearchToSystem32();
    Utf8Arguments arguments = commandLineArguments();
    return kvx::apps::app_main(static_cast<int>(arguments.values.size()), arguments.pointers.data());
}
