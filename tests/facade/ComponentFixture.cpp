#include "ComponentFixture.h"

#include "com/Creator.h"
#include "com/ModuleLock.h"
#include "results/CRecordItem.h"
#include "results/CRecordSet.h"

ComPtr<IZeveVevuVAD> ComponentFixture::NewObject(EventSink& events, ComPtr<IConnectionPoint>& point, DWORD& cookie) {
    ComPtr<IZeveVevuVAD> made;
    ComPtr<IConnectionPointContainer> container;
    if (Creator<CZeveVevuVAD>::CreateInstance(nullptr, IID_IZeveVevuVAD, made.ReceiveVoid()) != S_OK ||
        made->QueryInterface(IID_IConnectionPointContainer, container.ReceiveVoid()) != S_OK ||
        container->FindConnectionPoint(DIID__IZeveVevuVADEvents, point.Receive()) != S_OK ||
        point->Advise(&events, &cookie) != S_OK) {
        ADD_FAILURE() << "cannot create the object and subscribe its sink";
        return ComPtr<IZeveVevuVAD>();
    }
    // A missing file is rebuilt after a pause; the tests do not wait.
    static_cast<CZeveVevuVAD*>(made.Get())->Facade().SetPause([](DWORD) {});
    return made;
}

void ComponentFixture::SetUp() {
    FacadeFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    locksBefore = ModuleLock::GetLockCount();
    object = NewObject(sink, point, cookie);
    ASSERT_TRUE(object);
    ASSERT_EQ(Creator<CRecordSet>::CreateInstance(nullptr, IID_IRecordSet, set.ReceiveVoid()), S_OK);
    ASSERT_EQ(Creator<CRecordItem>::CreateInstance(nullptr, IID_IRecordItem, item.ReceiveVoid()), S_OK);
}

void ComponentFixture::TearDown() {
    if (point && cookie != 0) point->Unadvise(cookie);
    point.Reset();
    set.Reset();
    item.Reset();
    if (object) {
        object.Reset();
        EXPECT_EQ(ModuleLock::GetLockCount(), locksBefore);
    }
    FacadeFixture::TearDown();
}
