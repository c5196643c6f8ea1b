@echo off
rem Is the printer attached to this PC? For requirement rules and inventory
rem runs: runs the updater beside this file with /check, which looks for the
rem printer as the updater's main page does and sends it nothing. Ends with 0
rem when it is found, 2 when not, 4 while another copy of the updater runs.
rem A release sets the line below to its own updater (deploy/windows/fill-in).
setlocal
set "updater=TORVAEL-prismatone-3350N-V1.05.exe"

"%~dp0%updater%" /check
exit /b %ERRORLEVEL%
