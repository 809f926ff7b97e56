// The one owner of handles, keys and buffers: where ownership goes on moves, reset and release.
#include "foundation/win/UniqueHandle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/win/AutoHandle.h"

namespace kvx::WinUtils {
namespace {

bool isOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(UniqueHandle, EachHandleIsClosedExactlyOnceByItsLastOwner) {
    HANDLE events[4];
    for (HANDLE& event : events) {
        event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(event, nullptr);
    }
    HANDLE released = nullptr;
    {
        AutoHandle source(events[0]);
        AutoHandle owner(std::move(source));
        EXPECT_FALSE(source.valid()) << "a move leaves the source empty";
        EXPECT_EQ(owner.get(), events[0]);
        AutoHandle target(events[1]);
        target = std::move(owner);
        EXPECT_FALSE(isOpen(events[1])) << "a move assignment closes what the target held";
        target.reset(events[2]);
        EXPECT_FALSE(isOpen(events[0])) << "reset closes and takes the new value";
        released = target.release();
        EXPECT_FALSE(target.valid());
        AutoHandle last(events[3]);
    }
    EXPECT_FALSE(isOpen(events[3])) << "destruction closes";
    EXPECT_EQ(released, events[2]);
    EXPECT_TRUE(isOpen(released)) << "release gives up without closing";
    CloseHandle(released);
}

}  // namespace
}  // namespace kvx::WinUtils
