#include "foundation/win/ErrorText.h"

#include <windows.h>

#include "foundation/SafeFormat.h"
#include "foundation/TextConversion.h"
#include "foundation/win/SystemMemory.h"

namespace kvx::WinUtils {

std::string getErrorAsString(uint32_t error) {
    wchar_t* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = FormatMessageW(flags, nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const UniqueLocalMemory<wchar_t*> owned(buffer);
    if (length == 0 || buffer == nullptr) {
        return foundation::safeFormat("errorId=[{}]", error);
    }
    std::wstring text(buffer, length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) {
        text.pop_back();
    }
    return foundation::narrow(text, KVX_SOURCE_LOCATION);
}

}  // namespace kvx::WinUtils
