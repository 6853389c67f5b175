// The methods of IRecordItem as the RecordItem's IDispatch serves them:
// names, DISPIDs, parameters and results. One list for the object's dispatch
// table and for the clients that describe the methods (the shell's help).
#pragma once

#include <OBZeveVevuVAD.h>

#include "com/DispatchMember.h"

inline constexpr DispatchMember kRecordItemMembers[] = {
    DispatchMember::Bind<&IRecordItem::GetDataValue>(OLESTR("GetDataValue"), DISPID_RI_GetDataValue,
                                                     OLESTR("Field"), OLESTR("pVal")),
    DispatchMember::Bind<&IRecordItem::SetDataValue>(OLESTR("SetDataValue"), DISPID_RI_SetDataValue,
                                                     OLESTR("Name"), OLESTR("Value")),
};
