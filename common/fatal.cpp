// The one error exit of both programs.  It lives alone in this file so that
// a build which must survive fatal errors (the fuzz targets, which run many
// inputs in one process) can link its own definition instead, while both
// programs keep exactly this one.

#include "common.h"

#include <cstdlib>

void ErrorFatal(const char* mensaje)
{
    if (void (*antes)() = AntesDeFatal) {
        AntesDeFatal = nullptr;   // a fatal error on the way is the one reported
        antes();
    }
    fprintf(ConsolaErrores, "\nFatal error. %s\n", mensaje);
    DescartaTemporal(nullptr);
    exit(1);
}
