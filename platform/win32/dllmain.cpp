// The DLL's entry point. The library keeps no per-thread state, so thread
// attach and detach notifications are switched off; nothing else happens
// at load or unload. (Linked into test programs too, where it is unused.)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
