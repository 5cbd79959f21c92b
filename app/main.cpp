// Process entry: everything lives in RunSetup so that tests can drive the same pieces.
#include "base/dll_search.h"
#include "ui/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem();
    return RunSetup(instance);
}
