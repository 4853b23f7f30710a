// Process-attach hook. On Windows the library switches off per-thread attach and
// detach notifications for itself; elsewhere there is nothing to switch off, and
// the library keeps no per-thread state.
#include "frame/frame.hpp"

#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
#endif
