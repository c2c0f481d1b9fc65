@echo off
rem Plays tha corbanet demo at its pace, 60 frames a second, from this
rem folder, where its music is. Arguments go on to start.exe after it (a
rem later --fps counts: play.cmd --fps 30). The statistics are printed here
rem at the end.
cd /d "%~dp0"
"%~dp0start.exe" --fps 60 %*
