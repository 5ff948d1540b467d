// Chooses how the library's public symbols are exported, in one place.
//
// Building the shared library defines GENREG_BUILDING; programs that link
// the library's objects directly (the unit tests) define it too. A consumer
// defines nothing and imports the symbols from the DLL or shared object.
#ifndef GENREG_EXPORT_H
#define GENREG_EXPORT_H

#if defined(_WIN32)
#if defined(GENREG_BUILDING)
#define GENREG_API __declspec(dllexport)
#else
#define GENREG_API __declspec(dllimport)
#endif
#else
#define GENREG_API __attribute__((visibility("default")))
#endif

#endif
