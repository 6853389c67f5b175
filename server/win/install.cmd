@echo off
rem Registers OBZeveVevuVAD64.dll from the folder of this script.
rem   install.cmd            for the current user; needs no administrator rights
rem   install.cmd /machine   for every user of the machine; run it as administrator
rem Exit code: 0 registered, 1 registration failed, 2 wrong use or missing file.
setlocal
set "dll=%~dp0OBZeveVevuVAD64.dll"
set "regsvr32=%SystemRoot%\System32\regsvr32.exe"

if "%~1"=="" goto user
if /i "%~1"=="/machine" if "%~2"=="" goto machine
if "%~1"=="/?" goto usage
if /i "%~1"=="/help" goto usage
>&2 echo install.cmd: unknown argument "%~1"
goto usage_error

:user
set "switches=/n /i:user"
set "scope=the current user"
goto register

:machine
set "switches="
set "scope=every user of this machine"
goto register

:register
if not exist "%dll%" (
    >&2 echo install.cmd: "%dll%" is missing
    exit /b 2
)
if not exist "%~dp0sqlite3.dll" (
    >&2 echo install.cmd: "%~dp0sqlite3.dll" is missing: it must stay beside OBZeveVevuVAD64.dll
    exit /b 2
)
"%regsvr32%" /s %switches% "%dll%"
if errorlevel 1 (
    >&2 echo install.cmd: registering "%dll%" for %scope% failed ^(regsvr32 exit code %errorlevel%^).
    if "%switches%"=="" >&2 echo install.cmd: machine-wide registration needs a command prompt run as administrator.
    exit /b 1
)
echo OBZeveVevuVAD is registered for %scope%: %dll%
exit /b 0

:usage
echo Registers the OBZeveVevuVAD automation component in this folder.
echo.
echo   install.cmd            for the current user (no administrator rights needed)
echo   install.cmd /machine   for every user of this machine (run as administrator)
echo.
echo The registration names this folder: move the folder, run install.cmd again.
echo uninstall.cmd, with the same switch, removes the registration.
exit /b 0

:usage_error
>&2 echo Usage: install.cmd [/machine]
exit /b 2
