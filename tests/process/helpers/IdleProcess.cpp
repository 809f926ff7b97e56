// A stand-in suite process: optionally loads the DLL named by its first argument, then just waits
// (a minute at most, so a test that fails to stop it leaves nothing behind for long).
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && LoadLibraryW(argv[1]) == nullptr) {
        return 2;
    }
    Sleep(60000);
    return 0;
}
