@echo off
rem The removal from a share, with its log where only administrators write.
rem As a Group Policy start-up script, or copied and run by PsExec:
rem   psexec @computers.txt -s -c -f remove-scribbit.cmd
rem The variables are expanded on the computer it runs on. Computer accounts
rem need read access to the share.
set "LOGDIR=%ProgramFiles%\ScribbitRemoval"
rem There already after the first run: mkdir fails quietly then.
mkdir "%LOGDIR%" 2>nul
"\\server\share\ScribbitRemoval-x86.exe" /quiet /log "%LOGDIR%\removal.log"
exit /b %errorlevel%
