@sondrel.exe %1 %2
@set sondrel_status=%errorlevel%
@rmdir /s /q Patch
@del /f /q sondrel.exe
@del /f /q "%~f0" & exit /b %sondrel_status%
