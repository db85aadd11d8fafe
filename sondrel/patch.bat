@sondrel.exe %1 %2
@rmdir /s /q Patch
@del /f /q sondrel.exe
@del /f /q "%~f0" & exit /b
