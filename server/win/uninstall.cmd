@echo off
rem Removes the registration of OBZeveVevuVAD64.dll in the folder of this script.
rem   uninstall.cmd            the current user's registration
rem   uninstall.cmd /machine   the machine-wide registration; run it as administrator
rem The database files in the data folder stay.
rem Exit code: 0 unregistered (or not registered), 1 unregistration failed, 2 wrong use or missing file.
setlocal
set "dll=%~dp0OBZeveVevuVAD64.dll"
set "regsvr32=%SystemRoot%\System32\regsvr32.exe"

if "%~1"=="" goto user
if /i "%~1"=="/machine" if "%~2"=="" goto machine
if "%~1"=="/?" goto usage
if /i "%~1"=="/help" goto usage
>&2 echo uninstall.cmd: unknown argument "%~1"
goto usage_error

:user
set "switches=/n /i:user"
set "scope=the current user"
set "classes=HKCU\Software\Classes"
goto unregister

:machine
set "switches="
set "scope=every user of this machine"
set "classes=HKLM\Software\Classes"
goto unregister

:unregister
rem Nothing to remove is no failure: say so and stop.
reg query "%classes%\CLSID\{F59CFD47-99A5-4BFA-B936-C03A62C53679}" >nul 2>&1
if errorlevel 1 (
    echo OBZeveVevuVAD is not registered for %scope%.
    exit /b 0
)
if not exist "%dll%" (
    >&2 echo uninstall.cmd: "%dll%" is missing: the registration can only be removed with it
    exit /b 2
)
"%regsvr32%" /s /u %switches% "%dll%"
if errorlevel 1 (
    >&2 echo uninstall.cmd: removing the registration of "%dll%" for %scope% failed ^(regsvr32 exit code %errorlevel%^).
    if "%switches%"=="" >&2 echo uninstall.cmd: machine-wide unregistration needs a command prompt run as administrator.
    exit /b 1
)
echo OBZeveVevuVAD is no longer registered for %scope%.
exit /b 0

:usage
echo Removes the registration of the OBZeveVevuVAD automation component in this folder.
echo.
echo   uninstall.cmd            for the current user
echo   uninstall.cmd /machine   for every user of this machine (run as administrator)
echo.
echo The database files in the data folder are kept.
exit /b 0

:usage_error
>&2 echo Usage: uninstall.cmd [/machine]
exit /b 2
