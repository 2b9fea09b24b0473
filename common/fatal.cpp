// The one error exit of both programs.  It lives alone in this file so that
// a build which must survive fatal errors (the fuzz targets, which run many
// inputs in one process) can link its own definition instead, while both
// programs keep exactly this one.

#include "consola.h"
#include "temporales.h"

#include <cstdlib>

void ErrorFatal(const char* mensaje)
{
    CumpleAntesDeFatal();
    fprintf(ConsolaErrores, "\nFatal error. %s\n", mensaje);
    DescartaTemporal(nullptr);
    exit(1);
}
