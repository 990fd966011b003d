// The library's entry routines (not exports). On Windows DllEntryPoint is the DLL's entry
// point, named to the linker; elsewhere both are plain functions.
#ifndef ZIFRAKIT_LIBMAIN_H
#define ZIFRAKIT_LIBMAIN_H

#include "zifrakit/zifrakit.h"

extern "C" {
int ZK_CALL DllEntryPoint(void* hinstDll, unsigned long fdwRreason, void* plvReserved);
int ZK_CALL WEP(int bSystemExit);
}

#endif
