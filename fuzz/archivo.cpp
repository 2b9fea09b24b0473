// Fuzz target: the restorer on an archive of arbitrary bytes.  The bytes are
// written as x.cmp in a private folder and the real member loop runs there,
// exactly as Vuvodiv's main drives it: headers, names, types, stored and LZH
// data, refused and damaged members, truncation.
//
// A fatal error is an expected answer to a hostile archive.  A finding is a
// sanitizer report, a hang, a leak, a file outside the folder, or a member
// file still open once the loop ends.

#include "arnes.h"
#include "vuvodiv.h"

#include <cstring>

using namespace vuvodiv;

// The state a fresh process starts with: the conversion of a first member
// of type 4 or more is none, and the window is zero (a hostile stream can
// read window bytes that no member wrote).
static void PreparaEstado()
{
    HayQueTraducir = false;
    CuidaCR = false;
    MiembrosNoRestaurados = 0;
    memset(Texto, 0, sizeof Texto);
    snprintf(NombreArchivo, sizeof NombreArchivo, "x.cmp");
}

static void RecorreArchivo()
{
    Entrada = fopen(NombreArchivo, "rb");
    EXIGE(Entrada != nullptr);
    try {
        while (LeeCabecera())
            Vuvodiv();
        EXIGE(Salida == nullptr);
    } catch (const FinFatal&) {
        // Expected for truncated archives and names that cannot be created;
        // the member's folder (a name such as "./x") is closed as exit would.
        CierraRuta();
    }
    CierraFlujos();
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SilenciaConsola();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano)
{
    EntraCarpetaTrabajo();
    EscribeBytes("x.cmp", datos, tamano);
    PreparaEstado();
    RecorreArchivo();
    SaleCarpetaTrabajo();
    return 0;
}
