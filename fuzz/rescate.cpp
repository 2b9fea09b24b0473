// Fuzz target: salvage on arbitrary bytes.  The first byte chooses -t and
// -n; the rest is written as x.cmp in a private folder and the whole salvage
// run goes over it: the walk, the scans, the confirmations, the repairs,
// the partial and suspect files.
//
// A fatal error is an expected answer (salvage ends with one whenever the
// archive is damaged).  A finding is a sanitizer report, a hang, a leak, a
// file outside the folder or left open, or work beyond the cap.

#include "arnes.h"
#include "rescate.h"
#include "vuvodiv.h"

#include <cstdio>

using namespace vuvodiv;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SilenciaConsola();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano)
{
    if (tamano == 0)
        return 0;
    EntraCarpetaTrabajo();
    EscribeBytes("x.cmp", datos + 1, tamano - 1);
    ModoElegido = datos[0] & 1 ? &ModoPrueba : &ModoRestaura;
    SinReemplazo = (datos[0] & 2) != 0;
    CarpetaDestino = nullptr;
    NumSeleccion = 0;
    Rescate = true;
    snprintf(NombreArchivo, sizeof NombreArchivo, "x.cmp");
    Entrada = fopen(NombreArchivo, "rb");
    EXIGE(Entrada != nullptr);
    try {
        AbreDestino();
        Rescata();
    } catch (const FinFatal&) {
        LiberaRescate();   // a member's folder is closed before any fatal error
    }
    EXIGE(TrabajoDeRescate() <= 20 * uint64_t{tamano} + (uint64_t{2} << 20));
    CierraFlujos();
    SaleCarpetaTrabajo();
    return 0;
}
