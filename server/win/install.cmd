@echo off
rem Registers the OBZeveVevuVAD DLLs from the folder of this script:
rem x64\OBZeveVevuVAD64.dll for 64-bit programs, x86\OBZeveVevuVAD32.dll for
rem 32-bit programs.
rem   install.cmd [/machine] [/x64 ^| /x86]
rem   (no switch)   for the current user; needs no administrator rights
rem   /machine      for every user of the machine; run it as administrator
rem   /x64, /x86    only the 64-bit or only the 32-bit DLL; by default both on
rem                 a 64-bit Windows, the 32-bit one on a 32-bit Windows
rem Exit code: 0 registered, 1 registration failed, 2 wrong use or missing file.
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
>&2 echo install.cmd: unknown or repeated argument "%~1"
goto usage_error
:arguments_done

rem A 64-bit Windows runs this script in a 64-bit cmd, or in a 32-bit one
rem that sees System32 redirected and reaches the 64-bit programs through
rem Sysnative.
set "windows64="
set "system64=%SystemRoot%\System32"
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "windows64=1"
if /i "%PROCESSOR_ARCHITECTURE%"=="ARM64" set "windows64=1"
if defined PROCESSOR_ARCHITEW6432 (
    set "windows64=1"
    set "system64=%SystemRoot%\Sysnative"
)
if defined windows64 (set "system32=%SystemRoot%\SysWOW64") else (set "system32=%SystemRoot%\System32")
if "%bits%"=="64" if not defined windows64 (
    >&2 echo install.cmd: this Windows is 32-bit: it cannot load the 64-bit DLL
    exit /b 2
)

if "%scope%"=="user" (
    set "switches=/n /i:user"
    set "scope_text=the current user"
) else (
    set "switches="
    set "scope_text=every user of this machine"
)

set "status=0"
if not "%bits%"=="32" if defined windows64 call :register 64 x64 "%system64%"
if "%status%"=="2" exit /b 2
if not "%bits%"=="64" call :register 32 x86 "%system32%"
exit /b %status%

rem :register BITS FOLDER SYSTEM-FOLDER: registers one DLL with the regsvr32
rem of its own bitness; sets status to 1 or 2 on failure.
:register
set "dll=%~dp0%2\OBZeveVevuVAD%1.dll"
rem A 64-bit Windows without its 32-bit subsystem (Server Core without WoW64)
rem runs no 32-bit program: nothing there could load the 32-bit DLL.
if not exist "%~3\regsvr32.exe" (
    if defined bits (
        >&2 echo install.cmd: "%~3\regsvr32.exe" is missing: this Windows cannot register the %1-bit DLL
        set "status=2"
    ) else (
        echo OBZeveVevuVAD %1-bit is not registered: this Windows runs no %1-bit programs.
    )
    exit /b 0
)
if not exist "%dll%" (
    >&2 echo install.cmd: "%dll%" is missing
    set "status=2"
    exit /b 0
)
if not exist "%~dp0%2\sqlite3.dll" (
    >&2 echo install.cmd: "%~dp0%2\sqlite3.dll" is missing: it must stay beside OBZeveVevuVAD%1.dll
    set "status=2"
    exit /b 0
)
"%~3\regsvr32.exe" /s %switches% "%dll%"
if errorlevel 1 (
    >&2 echo install.cmd: registering "%dll%" for %scope_text% failed ^(regsvr32 exit code %errorlevel%^).
    if "%scope%"=="machine" >&2 echo install.cmd: machine-wide registration needs a command prompt run as administrator.
    set "status=1"
    exit /b 0
)
echo OBZeveVevuVAD %1-bit is registered for %scope_text%: %dll%
exit /b 0

:usage
echo Registers the OBZeveVevuVAD automation component in this folder.
echo.
echo   install.cmd            for the current user (no administrator rights needed)
echo   install.cmd /machine   for every user of this machine (run as administrator)
echo.
echo Both DLLs are registered on a 64-bit Windows: x64\OBZeveVevuVAD64.dll for
echo 64-bit programs and x86\OBZeveVevuVAD32.dll for 32-bit ones. /x64 or /x86
echo registers only one of them.
echo.
echo The registration names this folder: move the folder, run install.cmd again.
echo uninstall.cmd, with the same switches, removes the registration.
exit /b 0

:usage_error
>&2 echo Usage: install.cmd [/machine] [/x64 ^| /x86]
exit /b 2
