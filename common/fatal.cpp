// The one error exit of both programs.  It lives alone in this file so that
// a build which must survive fatal errors (the fuzz targets, which run many
// inputs in one process) can link its own definition instead, while both
// programs keep exactly this one.

#include "consola.h"
#include "temporales.h"

#include <cstdlib>

void ErrorFatal(const char* mensaje, const Causa& causa)
{
    CumpleAntesDeFatal();
    if (ConsolaErrores != stderr)
        fprintf(ConsolaErrores, "\nFatal error. %s\n", mensaje);
    InformaFatalEnErrores(mensaje, causa);
    DescartaTemporal(nullptr);
    exit(1);
}
