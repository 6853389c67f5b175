// obz-import's side of the component: one database object created by ProgID
// ("Ombrel.ZeveVevuVAD"), whose log lines go to a stream while CreateDbFile
// and ImportDbFile run (Connect's greeting lines are not shown).
// Needs COM initialised on the calling thread for its whole life.
// Thread-safety: one thread uses an instance.
#pragma once

#include <OBZeveVevuVAD.h>

#include <memory>
#include <ostream>
#include <string>

#include "obzkit/EventSubscription.h"
#include "obzkit/Ref.h"

class ComponentImport {
public:
    explicit ComponentImport(std::ostream& log);
    ~ComponentImport();
    ComponentImport(const ComponentImport&) = delete;
    ComponentImport& operator=(const ComponentImport&) = delete;

    // Creates the object and subscribes to its log lines: S_OK, or the
    // HRESULT of the step that failed (CO_E_CLASSSTRING or
    // REGDB_E_CLASSNOTREG when the component is not registered).
    HRESULT Start();

    // The methods' outcomes (plRet); 0 also when a call itself failed.
    // Texts in UTF-8.
    LONG Connect(const std::string& hostAddress, const std::string& systemName);
    LONG CreateDbFile(const std::string& fileName, const std::string& table, const std::string& columns);
    LONG ImportDbFile(const std::string& filePath, const std::string& table, const std::string& columns,
                      const std::string& rowSplit, const std::string& columnSplit);

private:
    class LogPrinter;

    std::ostream& log_;
    obzkit::Ref<IZeveVevuVAD> db_;
    obzkit::Ref<LogPrinter> printer_;
    std::unique_ptr<obzkit::EventSubscription> subscription_;  // ends first
};
