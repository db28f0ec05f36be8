@echo off
rem Sonavex demo: starts the bundled demo service, a local HTTP proxy that
rem answers with sample song pages, and Sonavex pointed at it. Closing Sonavex
rem stops the service. Try http://changba.com/s/demo-audio
cd /d "%~dp0"
"%~dp0sonavex-demo-service.exe" --root "%~dp0demo" --run "%~dp0sonavex.exe"
