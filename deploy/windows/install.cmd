@echo off
rem Updates the printer's firmware with no window, for deployment tools: runs
rem the updater beside this file with /quiet /accept-licence, its log appended
rem to %ProgramData%\<maker>\PrinterFirmware\update.log, and once the update is
rem complete records the version sent under HKLM\SOFTWARE\<maker>\PrinterFirmware
rem (the model's name as the value's name) for detection rules. Ends with the
rem updater's exit code: 0 complete; 2, 3 and 4 worth another attempt later;
rem 1, 5 and 7 never (the README's "Unattended runs").
rem A release sets the four lines below to its own updater (deploy/windows/fill-in).
setlocal
set "maker=TORVAEL"
set "model=TORVAEL prismatone 3350N"
set "version=V1.05"
set "updater=TORVAEL-prismatone-3350N-V1.05.exe"

set "folder=%ProgramData%\%maker%\PrinterFirmware"
if not exist "%folder%\" mkdir "%folder%"
"%~dp0%updater%" /quiet /accept-licence /log "%folder%\update.log"
set code=%ERRORLEVEL%
if not "%code%"=="0" exit /b %code%
reg add "HKLM\SOFTWARE\%maker%\PrinterFirmware" /v "%model%" /d "%version%" /f >nul
rem The printer has its firmware all the same: a detection rule will say what is missing.
if errorlevel 1 echo install.cmd: the update is complete, but reg add could not record it.
exit /b 0
