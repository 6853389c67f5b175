// The methods of IRecordSet as the RecordSet's IDispatch serves them: names,
// DISPIDs, parameters and results. One list for the object's dispatch table
// and for the clients that describe the methods (the shell's help).
#pragma once

#include <OBZeveVevuVAD.h>

#include "com/DispatchMember.h"

inline constexpr DispatchMember kRecordSetMembers[] = {
    DispatchMember::Bind<&IRecordSet::GetRecordCount>(OLESTR("GetRecordCount"), DISPID_RS_GetRecordCount,
                                                      OLESTR("lRet")),
    DispatchMember::Bind<&IRecordSet::GetRecordItem>(OLESTR("GetRecordItem"), DISPID_RS_GetRecordItem,
                                                     OLESTR("Index"), OLESTR("RecordItem"), OLESTR("Succeeded")),
    DispatchMember::Bind<&IRecordSet::SetRecordItem>(OLESTR("SetRecordItem"), DISPID_RS_SetRecordItem,
                                                     OLESTR("Record")),
    DispatchMember::Bind<&IRecordSet::SetColumnName>(OLESTR("SetColumnName"), DISPID_RS_SetColumnName,
                                                     OLESTR("Name")),
};
