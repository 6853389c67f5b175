@echo off
rem Removes the registration of the OBZeveVevuVAD DLLs in the folder of this
rem script (x64\OBZeveVevuVAD64.dll and x86\OBZeveVevuVAD32.dll).
rem   uninstall.cmd [/machine] [/x64 ^| /x86]
rem   (no switch)   the current user's registration
rem   /machine      the machine-wide registration; run it as administrator
rem   /x64, /x86    only the 64-bit or only the 32-bit DLL's; by default both
rem Removing one DLL's registration leaves the other's working.
rem The database files in the data folder stay.
rem Exit code: 0 unregistered (or not registered), 1 unregistration failed, 2 wrong use or missing file.
setlocal
set "scope=user"
set "bits="

:arguments
if "%~1"=="" goto arguments_done
if /i "%~1"=="/machine" (
    set "scope=machine"
    shift
    goto arguments
)
if /i "%~1"=="/x64" if not defined bits (
    set "bits=64"
    shift
    goto arguments
)
if /i "%~1"=="/x86" if not defined bits (
    set "bits=32"
    shift
    goto arguments
)
if "%~1"=="/?" goto usage
if /i "%~1"=="/help" goto usage
>&2 echo uninstall.cmd: unknown or repeated argument "%~1"
goto usage_error
:arguments_done

rem The 64-bit programs and registry view from a 64-bit or a 32-bit cmd of a
rem 64-bit Windows (see install.cmd); reg's /reg:32 and /reg:64 name each
rem bitness's view of the class keys, whichever cmd runs this.
set "windows64="
set "system64=%SystemRoot%\System32"
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "windows64=1"
if /i "%PROCESSOR_ARCHITECTURE%"=="ARM64" set "windows64=1"
if defined PROCESSOR_ARCHITEW6432 (
    set "windows64=1"
    set "system64=%SystemRoot%\Sysnative"
)
if defined windows64 (
    set "system32=%SystemRoot%\SysWOW64"
    set "view32=/reg:32"
) else (
    set "system32=%SystemRoot%\System32"
    set "view32="
)

if "%scope%"=="user" (
    set "switches=/n /i:user"
    set "scope_text=the current user"
    set "classes=HKCU\Software\Classes"
) else (
    set "switches="
    set "scope_text=every user of this machine"
    set "classes=HKLM\Software\Classes"
)

set "status=0"
if not "%bits%"=="32" if defined windows64 call :unregister 64 x64 "%system64%" /reg:64
if not "%bits%"=="64" call :unregister 32 x86 "%system32%" %view32%
exit /b %status%

rem :unregister BITS FOLDER SYSTEM-FOLDER [VIEW]: removes one DLL's
rem registration with the regsvr32 of its own bitness; nothing to remove is
rem no failure. Sets status to 1 or 2 on failure.
:unregister
reg query "%classes%\CLSID\{F59CFD47-99A5-4BFA-B936-C03A62C53679}\InprocServer32" %4 >nul 2>&1
if errorlevel 1 (
    echo OBZeveVevuVAD %1-bit is not registered for %scope_text%.
    exit /b 0
)
set "dll=%~dp0%2\OBZeveVevuVAD%1.dll"
if not exist "%dll%" (
    >&2 echo uninstall.cmd: "%dll%" is missing: the registration can only be removed with it
    if not "%status%"=="1" set "status=2"
    exit /b 0
)
"%~3\regsvr32.exe" /s /u %switches% "%dll%"
if errorlevel 1 (
    >&2 echo uninstall.cmd: removing the registration of "%dll%" for %scope_text% failed ^(regsvr32 exit code %errorlevel%^).
    if "%scope%"=="machine" >&2 echo uninstall.cmd: machine-wide unregistration needs a command prompt run as administrator.
    set "status=1"
    exit /b 0
)
echo OBZeveVevuVAD %1-bit is no longer registered for %scope_text%.
exit /b 0

:usage
echo Removes the registration of the OBZeveVevuVAD automation component in this folder.
echo.
echo   uninstall.cmd            for the current user
echo   uninstall.cmd /machine   for every user of this machine (run as administrator)
echo.
echo Both DLLs' registrations go; /x64 or /x86 removes only one of them, and the
echo other keeps working. The database files in the data folder are kept.
exit /b 0

:usage_error
>&2 echo Usage: uninstall.cmd [/machine] [/x64 ^| /x86]
exit /b 2
