@echo off
rem Writes this machine's report into its own folder of a share, replacing the last one:
rem   qv-collect.cmd \\server\qv
rem makes \\server\qv\%COMPUTERNAME% when it is missing, and has the qv.exe beside this
rem script write \\server\qv\%COMPUTERNAME%\%COMPUTERNAME%.txt. The names are expanded
rem here, at each run, and hold no date, whose layout follows the regional settings: qv
rem replaces the report whole, and the index keeps the history.
rem Silent on success. A failure is one line on standard error and a status that a task
rem scheduler shows as the last result: 2 no share given, 3 the share can't be reached,
rem 4 the machine's folder can't be made or opened, 5 no qv.exe beside this script, and
rem otherwise qv.exe's own.
setlocal EnableExtensions DisableDelayedExpansion
rem No parenthesised blocks and every path in quotes: a share's name may hold & or ).
set "share=%~1"
if not defined share goto usage
if "%share:~-1%"=="\" set "share=%share:~0,-1%"
set "qv=%~dp0qv.exe"
set "folder=%share%\%COMPUTERNAME%"
if not exist "%qv%" goto no_qv
if not exist "%share%\" goto no_share
rem "folder\*" and not "folder\": the second is also true of a file under Wine.
if not exist "%folder%\*" mkdir "%folder%" 2>nul
if not exist "%folder%\*" goto no_folder
"%qv%" "%folder%\%COMPUTERNAME%.txt" >nul
exit /b %errorlevel%

rem The messages expand the paths late, so that cmd does not read them as commands.
:usage
echo Usage: qv-collect.cmd SHARE (for example \\server\qv)>&2
exit /b 2
:no_share
setlocal EnableDelayedExpansion
echo qv-collect: Couldn't reach the share !share!.>&2
exit /b 3
:no_folder
setlocal EnableDelayedExpansion
echo qv-collect: Couldn't make or open the folder !folder!.>&2
exit /b 4
:no_qv
setlocal EnableDelayedExpansion
echo qv-collect: There is no qv.exe beside this script (!qv!).>&2
exit /b 5
