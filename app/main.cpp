// Process entry: everything lives in RunSetup so that tests can drive the same pieces.
#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return RunSetup(instance); }
