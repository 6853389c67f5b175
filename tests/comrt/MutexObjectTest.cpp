#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

namespace {

// Closes a handle at scope end.
struct HandleCloser {
    HANDLE handle;
    ~HandleCloser() { CloseHandle(handle); }
};

TEST(MutexObjectTest, OwnerIsRecursiveOthersTimeOut) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    HandleCloser closer{mutex};
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));  // owner again: count 2

    DWORD waited = 0;
    BOOL released = TRUE;
    DWORD releaseError = 0;
    std::thread([&] {
        const auto start = std::chrono::steady_clock::now();
        waited = WaitForSingleObject(mutex, 50);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
        released = ReleaseMutex(mutex);
        releaseError = GetLastError();
    }).join();
    EXPECT_EQ(waited, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(released);
    EXPECT_EQ(releaseError, static_cast<DWORD>(ERROR_NOT_OWNER));

    EXPECT_TRUE(ReleaseMutex(mutex));
    std::thread([&] { waited = WaitForSingleObject(mutex, 0); }).join();
    EXPECT_EQ(waited, static_cast<DWORD>(WAIT_TIMEOUT));  // one acquisition left
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));  // no longer owned
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
}

TEST(MutexObjectTest, WaiterGetsMutexWhenReleased) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    HandleCloser closer{mutex};
    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    std::atomic<bool> acquired{false};
    std::thread waiter([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
        acquired = true;
        EXPECT_TRUE(ReleaseMutex(mutex));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(acquired.load());
    EXPECT_TRUE(ReleaseMutex(mutex));
    waiter.join();
    EXPECT_TRUE(acquired.load());
}

TEST(MutexObjectTest, UnknownHandlesAreRejected) {
    int notAHandle = 0;
    const HANDLE bogus[] = {nullptr, &notAHandle, reinterpret_cast<HANDLE>(-1)};
    for (HANDLE h : bogus) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
        EXPECT_FALSE(ReleaseMutex(h));
    }
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    EXPECT_TRUE(CloseHandle(mutex));
    EXPECT_FALSE(CloseHandle(mutex));  // already closed
    SetLastError(0);
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Global\\named"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

}  // namespace
