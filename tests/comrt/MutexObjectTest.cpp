#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

namespace {

TEST(MutexObjectTest, OwnerIsRecursiveOthersWaitUntilTheLastRelease) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));  // owner again: count 2
    DWORD waited = 0, releaseError = 0;
    BOOL released = TRUE;
    std::thread([&] {
        waited = WaitForSingleObject(mutex, 20);
        released = ReleaseMutex(mutex);
        releaseError = GetLastError();
    }).join();
    EXPECT_EQ(waited, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(released);
    EXPECT_EQ(releaseError, static_cast<DWORD>(ERROR_NOT_OWNER));

    EXPECT_TRUE(ReleaseMutex(mutex));  // one acquisition left
    std::atomic<bool> acquired{false};
    std::thread waiter([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
        acquired = true;
        EXPECT_TRUE(ReleaseMutex(mutex));
    });
    EXPECT_FALSE(acquired.load());
    EXPECT_TRUE(ReleaseMutex(mutex));
    waiter.join();
    EXPECT_TRUE(acquired.load());
    EXPECT_FALSE(ReleaseMutex(mutex));  // no longer owned
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST(MutexObjectTest, UnknownHandlesAreRejected) {
    int notAHandle = 0;
    HANDLE closed = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    for (HANDLE h : {HANDLE{nullptr}, HANDLE(&notAHandle), closed}) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
        EXPECT_FALSE(ReleaseMutex(h));
    }
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Global\\named"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

}  // namespace
