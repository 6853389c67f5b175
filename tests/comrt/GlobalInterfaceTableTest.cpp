#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

#include "CountingObject.h"

namespace {

using comrt_test::CountingObject;

IGlobalInterfaceTable* Table() {
    void* p = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IGlobalInterfaceTable, &p),
              S_OK);
    return static_cast<IGlobalInterfaceTable*>(p);
}

// One object for the whole process, kept alive past its last release; it
// cannot be aggregated.
TEST(GlobalInterfaceTableTest, IsOneProcessWideObject) {
    IGlobalInterfaceTable* a = Table();
    ASSERT_NE(a, nullptr);
    a->Release();
    std::thread([a] {
        IGlobalInterfaceTable* b = Table();
        EXPECT_EQ(a, b);
        b->Release();
    }).join();
    void* p = reinterpret_cast<void*>(1);
    CountingObject outer;
    EXPECT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
}

TEST(GlobalInterfaceTableTest, HoldsOneReferencePerEntry) {
    IGlobalInterfaceTable* git = Table();
    CountingObject object;
    DWORD first = 0;
    DWORD second = 0;
    ASSERT_EQ(git->RegisterInterfaceInGlobal(&object, IID_IDispatch, &first), S_OK);
    ASSERT_EQ(git->RegisterInterfaceInGlobal(&object, IID_IUnknown, &second), S_OK);
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);
    EXPECT_EQ(object.Count(), 2);

    void* fetched = nullptr;
    ASSERT_EQ(git->GetInterfaceFromGlobal(first, IID_IDispatch, &fetched), S_OK);
    EXPECT_EQ(fetched, static_cast<IDispatch*>(&object));
    EXPECT_EQ(object.Count(), 3);
    static_cast<IUnknown*>(fetched)->Release();

    EXPECT_EQ(git->RevokeInterfaceFromGlobal(first), S_OK);
    EXPECT_EQ(object.Count(), 1);
    EXPECT_EQ(git->RevokeInterfaceFromGlobal(first), E_INVALIDARG);
    EXPECT_EQ(git->GetInterfaceFromGlobal(first, IID_IUnknown, &fetched), E_INVALIDARG);
    EXPECT_EQ(fetched, nullptr);
    EXPECT_EQ(git->RevokeInterfaceFromGlobal(second), S_OK);
    EXPECT_EQ(object.Count(), 0);

    // An object that lacks the interface is refused, or not handed out.
    CountingObject plain(false);
    DWORD cookie = 99;
    EXPECT_EQ(git->RegisterInterfaceInGlobal(&plain, IID_IDispatch, &cookie), E_NOINTERFACE);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(plain.Count(), 0);

    ASSERT_EQ(git->RegisterInterfaceInGlobal(&plain, IID_IUnknown, &cookie), S_OK);
    fetched = reinterpret_cast<void*>(1);
    EXPECT_EQ(git->GetInterfaceFromGlobal(cookie, IID_IDispatch, &fetched), E_NOINTERFACE);
    EXPECT_EQ(fetched, nullptr);
    EXPECT_EQ(plain.Count(), 1);
    EXPECT_EQ(git->RevokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_EQ(plain.Count(), 0);
    git->Release();
}

TEST(GlobalInterfaceTableTest, CookiesAreUniqueAcrossThreads) {
    IGlobalInterfaceTable* git = Table();
    CountingObject object;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    std::vector<std::vector<DWORD>> cookies(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                DWORD cookie = 0;
                ASSERT_EQ(git->RegisterInterfaceInGlobal(&object, IID_IUnknown, &cookie), S_OK);
                void* p = nullptr;
                ASSERT_EQ(git->GetInterfaceFromGlobal(cookie, IID_IUnknown, &p), S_OK);
                static_cast<IUnknown*>(p)->Release();
                cookies[t].push_back(cookie);
            }
        });
    }
    for (auto& t : threads) t.join();
    std::set<DWORD> all;
    for (const auto& list : cookies) all.insert(list.begin(), list.end());
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kPerThread));
    EXPECT_EQ(object.Count(), kThreads * kPerThread);
    for (DWORD cookie : all) EXPECT_EQ(git->RevokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_EQ(object.Count(), 0);
    git->Release();
}

}  // namespace
