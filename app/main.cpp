// Process entry: everything lives in RunSetup so that tests can drive the same pieces.
#include "base/dll_search.h"
#include "ui/startup.h"

#include <cstdlib>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem();
    return RunSetup(instance);
}

// What std::terminate calls. The C++ library's own version first writes the demangled type of
// the exception to standard error, which a windowed program does not have; it brings the name
// demangler and a printf along (about a tenth of the program). The worker catches every
// exception itself, so this runs only after a fault nothing could handle: end as it would.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx
