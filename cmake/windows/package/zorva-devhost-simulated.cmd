@echo off
rem Runs zorva-devhost (one folder up) on the simulated USB library in this
rem folder, to try the tool without hardware. Arguments go to the program:
rem     simulated\zorva-devhost-simulated.cmd capture --seconds 5
rem Windows gives the program the first ZORVAUSBDevice.dll it finds: beside
rem the program, in its system folders, then on PATH. This puts this folder
rem on PATH, so the simulated library is used unless the maker's is in one of
rem the first two places. "zorva-devhost --version" shows which one it uses.
setlocal
if exist "%~dp0..\ZORVAUSBDevice.dll" echo zorva-devhost-simulated: the ZORVAUSBDevice.dll beside zorva-devhost.exe is used, not the simulated one 1>&2
set "PATH=%~dp0;%PATH%"
"%~dp0..\zorva-devhost.exe" %*
exit /b %ERRORLEVEL%
