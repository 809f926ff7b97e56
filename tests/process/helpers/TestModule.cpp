// A DLL of no content, for tests that need a module loaded from a folder of their own.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
