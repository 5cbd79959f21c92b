// Where the programs may load DLLs from: System32 only, never their own folder or the working
// directory. An elevated setup is started from a download folder that any web page can drop files
// into; a DLL there named after one the program uses would otherwise run with its rights.
#pragma once

// Limits the search of every later LoadLibrary, and of the delay-loaded imports, to System32.
// Must be the first statement of each program: DLLs loaded before it were searched for the old way.
// False only when Windows refused (it has accepted the flag since Windows 8).
bool RestrictDllSearchToSystem();
