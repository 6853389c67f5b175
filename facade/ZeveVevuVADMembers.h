// The methods of IZeveVevuVAD as the database object's IDispatch serves
// them: names, DISPIDs, parameters and results. One list for the object's
// dispatch table and for the clients that describe the methods (the
// shell's help).
#pragma once

#include <OBZeveVevuVAD.h>

#include "com/DispatchMember.h"

inline constexpr DispatchMember kZeveVevuVADMembers[] = {
    DispatchMember::Bind<&IZeveVevuVAD::Connect>(OLESTR("Connect"), DISPID_ZVV_Connect, OLESTR("HostAddress"),
                                                 OLESTR("SystemName"), OLESTR("plRet")),
    DispatchMember::Bind<&IZeveVevuVAD::Disconnect>(OLESTR("Disconnect"), DISPID_ZVV_Disconnect),
    DispatchMember::Bind<&IZeveVevuVAD::ImportDbFile>(OLESTR("ImportDbFile"), DISPID_ZVV_ImportDbFile,
                                                      OLESTR("FilePath"), OLESTR("TableName"), OLESTR("ColumnName"),
                                                      OLESTR("RowSplit"), OLESTR("ColumnSplit"), OLESTR("plRet")),
    DispatchMember::Bind<&IZeveVevuVAD::InsertDBRecord>(OLESTR("InsertDBRecord"), DISPID_ZVV_InsertDBRecord,
                                                        OLESTR("TableName"), OLESTR("Column"), OLESTR("Value"),
                                                        OLESTR("plRet")),
    DispatchMember::Bind<&IZeveVevuVAD::UpdateDBRecord>(OLESTR("UpdateDBRecord"), DISPID_ZVV_UpdateDBRecord,
                                                        OLESTR("TableName"), OLESTR("ConditionCol"),
                                                        OLESTR("ConditionVal"), OLESTR("NewCol"), OLESTR("NewVal"),
                                                        OLESTR("plRet")),
    DispatchMember::Bind<&IZeveVevuVAD::DeleteDBRecord>(OLESTR("DeleteDBRecord"), DISPID_ZVV_DeleteDBRecord,
                                                        OLESTR("TableName"), OLESTR("ConditionCol"),
                                                        OLESTR("ConditionVal"), OLESTR("plRet")),
    DispatchMember::Bind<&IZeveVevuVAD::GetDBRecordSet>(OLESTR("GetDBRecordSet"), DISPID_ZVV_GetDBRecordSet,
                                                        OLESTR("TableName"), OLESTR("ConditionCol"),
                                                        OLESTR("ConditionVal"), OLESTR("pRecordSet"),
                                                        OLESTR("Succeeded")),
    DispatchMember::Bind<&IZeveVevuVAD::CreateDbFile>(OLESTR("CreateDbFile"), DISPID_ZVV_CreateDbFile,
                                                      OLESTR("FileName"), OLESTR("TableName"), OLESTR("ColumnName"),
                                                      OLESTR("plRet")),
    DispatchMember::Bind<&IZeveVevuVAD::BeginTransation>(OLESTR("BeginTransation"), DISPID_ZVV_BeginTransation),
    DispatchMember::Bind<&IZeveVevuVAD::CommitTransation>(OLESTR("CommitTransation"), DISPID_ZVV_CommitTransation),
    DispatchMember::Bind<&IZeveVevuVAD::DropTable>(OLESTR("DropTable"), DISPID_ZVV_DropTable, OLESTR("FileName"),
                                                   OLESTR("TableName"), OLESTR("plRet")),
};
