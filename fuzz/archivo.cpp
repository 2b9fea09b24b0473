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

static Miembro M;
static Decodificador D;

// The state a fresh process starts with: the conversion of a first member
// of type 4 or more is none, and the window is zero (a hostile stream can
// read window bytes that no member wrote).  One thread, as the loop always
// ran here.
static void PreparaEstado()
{
    M = Miembro{};
    M.carpeta = -1;   // no member folder open
    D = Decodificador{};
    HilosPedidos = 1;
    MiembrosNoRestaurados = 0;
    snprintf(NombreArchivo, sizeof NombreArchivo, "x.cmp");
}

static void RecorreArchivoDeEntrada()
{
    Entrada = fopen(NombreArchivo, "rb");
    EXIGE(Entrada != nullptr);
    try {
        RecorreArchivo(M, D);
        EXIGE(M.salida == nullptr);
    } catch (const FinFatal&) {
        // Expected for truncated archives and names that cannot be created;
        // the member's file and folder (a name such as "./x") are closed as
        // exit would.
        if (M.salida)
            fclose(M.salida);
        M.salida = nullptr;
        CierraRuta(M);
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
    RecorreArchivoDeEntrada();
    SaleCarpetaTrabajo();
    return 0;
}
