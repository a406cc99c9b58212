// export: how a module marks the symbols the host looks up in it.
//
// Setup entries (and nothing else) are exported. On ELF targets every other
// symbol is hidden (the modules are built with hidden visibility); on
// Windows a DLL that marks any symbol dllexport exports those alone, and
// the host finds them with GetProcAddress.
#pragma once

#if defined(_WIN32)
#define TESSEL_EXPORT extern "C" __declspec(dllexport)
#else
#define TESSEL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// A setup entry: extern "C" void NAME_setup(), exported.
#define TESSEL_SETUP TESSEL_EXPORT void
