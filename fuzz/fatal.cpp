// The fuzz build's error exit: the programs' ErrorFatal (common/fatal.cpp)
// runs the console's AntesDeFatal hook, removes the pending temporary output
// and ends the process; here the hook and the temporary output go the same
// way, through the same helpers, and control goes back to the fuzz target,
// so one process can run millions of inputs.

#include "arnes.h"
#include "common.h"

#include <cstdio>

char MensajeFatal[1024];

void ErrorFatal(const char* mensaje, const Causa&)
{
    CumpleAntesDeFatal();
    snprintf(MensajeFatal, sizeof MensajeFatal, "%s", mensaje);
    DescartaTemporal(nullptr);
    throw FinFatal{};
}
