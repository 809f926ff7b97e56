// A DLL of no content that a simulated suite program keeps loaded, so that its file is in use.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
