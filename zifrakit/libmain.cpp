// The entry routines. DllEntryPoint is the routine the Windows loader reaches at process
// and thread attach and detach; the library prepares nothing, so every reason succeeds.
// WEP is kept for old callers of the library's frame; it is neither exported nor called.
#include "zifrakit/libmain.h"

int ZK_CALL DllEntryPoint(void* hinstDll, unsigned long fdwRreason, void* plvReserved) {
  static_cast<void>(hinstDll);
  static_cast<void>(fdwRreason);
  static_cast<void>(plvReserved);
  return 1;
}

int ZK_CALL WEP(int bSystemExit) {
  static_cast<void>(bSystemExit);
  return 1;
}
