// The one owner of handles, keys and buffers: where ownership goes on moves, reset and release,
// and which values each kind of handle treats as holding nothing.
#include "foundation/win/UniqueHandle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <type_traits>
#include <vector>

#include "foundation/SystemLibrary.h"
#include "foundation/fs/Win32Handles.h"
#include "foundation/registry/RegistryKey.h"
#include "foundation/win/AutoHandle.h"
#include "foundation/win/SystemMemory.h"
#include "process/AutoScHandle.h"

namespace kvx::WinUtils {
namespace {

static_assert(!std::is_copy_constructible_v<AutoHandle> && !std::is_copy_assignable_v<AutoHandle>);
static_assert(std::is_nothrow_move_constructible_v<AutoHandle> &&
              std::is_nothrow_move_assignable_v<AutoHandle>);

bool isOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

std::vector<AutoHandle> owners(AutoHandle first, AutoHandle second = AutoHandle()) {
    std::vector<AutoHandle> all;
    all.push_back(std::move(first));
    all.push_back(std::move(second));
    return all;
}

TEST(UniqueHandle, OwnsExactlyOnceAndKnowsEachKindsEmptyValues) {
    // Each row gets two fresh events and returns the owners that still hold them, so that the
    // handles it let go of show as closed and the ones it kept as open.
    struct Ownership {
        const char* what;
        std::function<std::vector<AutoHandle>(HANDLE a, HANDLE b)> act;
        bool aOpen;
        bool bOpen;
    };
    const Ownership ownership[] = {
        {"destruction closes",
         [](HANDLE a, HANDLE b) {
             { AutoHandle owner(a); }
             return owners(AutoHandle(b));
         },
         false, true},
        {"a move hands over and leaves the source empty",
         [](HANDLE a, HANDLE b) {
             AutoHandle source(a);
             AutoHandle target(std::move(source));
             EXPECT_FALSE(source.valid());
             EXPECT_EQ(target.get(), a);
             return owners(std::move(target), AutoHandle(b));
         },
         true, true},
        {"a move assignment closes what the target held",
         [](HANDLE a, HANDLE b) {
             AutoHandle target(b);
             AutoHandle source(a);
             target = std::move(source);
             return owners(std::move(target));
         },
         true, false},
        {"reset closes and takes the new value",
         [](HANDLE a, HANDLE b) {
             AutoHandle owner(a);
             owner.reset(b);
             return owners(std::move(owner));
         },
         false, true},
        {"release gives up without closing",
         [](HANDLE a, HANDLE b) {
             AutoHandle owner(a);
             HANDLE released = owner.release();
             EXPECT_FALSE(owner);
             return owners(AutoHandle(released), AutoHandle(b));
         },
         true, true},
    };
    for (const auto& row : ownership) {
        SCOPED_TRACE(row.what);
        HANDLE a = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE b = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_TRUE(a != nullptr && b != nullptr);
        {
            const auto kept = row.act(a, b);
            EXPECT_EQ(isOpen(a), row.aOpen);
            EXPECT_EQ(isOpen(b), row.bOpen);
        }
        EXPECT_FALSE(isOpen(a) || isOpen(b)) << "the kept owners closed what they held";
    }

    const AutoHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HKEY allOnes = reinterpret_cast<HKEY>(~uintptr_t{0});
    struct Validity {
        const char* what;
        bool valid;
        bool expected;
    };
    const Validity validity[] = {
        {"kernel: an event", KernelHandleTraits::isValid(event.get()), true},
        {"kernel: null", KernelHandleTraits::isValid(nullptr), false},
        {"kernel: INVALID_HANDLE_VALUE", KernelHandleTraits::isValid(INVALID_HANDLE_VALUE), false},
        {"kernel: empty owner", AutoHandle().valid(), false},
        {"find: INVALID_HANDLE_VALUE", fs::detail::FindHandleTraits::isValid(INVALID_HANDLE_VALUE), false},
        {"find: empty owner", fs::detail::FindHandle().valid(), false},
        {"service: null", services::platform::ServiceHandleTraits::isValid(nullptr), false},
        {"service: empty owner", services::platform::AutoSC_HANDLE().valid(), false},
        {"registry: a predefined root", foundation::RegistryKeyTraits::isValid(HKEY_LOCAL_MACHINE), true},
        {"registry: all ones", foundation::RegistryKeyTraits::isValid(allOnes), false},
        {"registry: empty owner", UniqueHandle<foundation::RegistryKeyTraits>().valid(), false},
        {"library: null", foundation::LibraryTraits::isValid(nullptr), false},
        {"local memory: null", LocalMemoryTraits<wchar_t*>::isValid(nullptr), false},
        {"task memory: null", CoTaskMemoryTraits<wchar_t*>::isValid(nullptr), false},
    };
    for (const auto& row : validity) {
        EXPECT_EQ(row.valid, row.expected) << row.what;
    }
}

}  // namespace
}  // namespace kvx::WinUtils
