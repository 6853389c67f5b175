#include "server/ServerExports.h"

#include "server/COBZeveVevuVADModule.h"

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return COBZeveVevuVADModule::Instance().GetClassObject(rclsid, riid, ppv);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return COBZeveVevuVADModule::Instance().CanUnloadNow(); }

HRESULT STDAPICALLTYPE DllRegisterServer() { return COBZeveVevuVADModule::Instance().RegisterServer(); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return COBZeveVevuVADModule::Instance().UnregisterServer(); }

HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR cmdLine) {
    return COBZeveVevuVADModule::Instance().Install(install, cmdLine);
}
