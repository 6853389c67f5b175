// Fixture of the component object's tests: the engine fixture's fresh folder
// and prefix, one object made through its creator with `sink` subscribed to
// its events and the rebuild's pause skipped, and a RecordSet and a
// RecordItem to query into. TearDown checks that the objects' module locks
// are given back.
#pragma once

#include <OBZeveVevuVAD.h>

#include "EventSink.h"
#include "FacadeFixture.h"
#include "com/ComPtr.h"
#include "facade/CZeveVevuVAD.h"

class ComponentFixture : public FacadeFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new object with `events` subscribed (`cookie` set); null on failure,
    // which is also reported.
    static ComPtr<IZeveVevuVAD> NewObject(EventSink& events, ComPtr<IConnectionPoint>& point, DWORD& cookie);
    CZeveVevuVAD& Object() { return *static_cast<CZeveVevuVAD*>(object.Get()); }

    EventSink sink;  // declared first: outlives the object
    DWORD cookie = 0;
    LONG locksBefore = 0;
    ComPtr<IZeveVevuVAD> object;
    ComPtr<IConnectionPoint> point;
    ComPtr<IRecordSet> set;
    ComPtr<IRecordItem> item;
};
