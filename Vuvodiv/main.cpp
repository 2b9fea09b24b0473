// Vuvodiv: restores the files of the archive <base>.cmp into the working
// folder.

#include "vuvodiv.h"

#include <cstdlib>
#include <cstring>

namespace vuvodiv {

void Presenta()
{
    PresentaTitulo("Vuvodiv " VERSION_PROYECTO ": restores the files of a compressed archive");
}

void MuestraUso()
{
    printf("\nTo call this programme:\nVuvodiv FileName\n"
           "  where FileName is the name of a file with extension\n"
           "  'cmp' that holds the compressed data\n");
    exit(0);
}

}  // namespace vuvodiv

using namespace vuvodiv;

int main(int argc, char* argv[])
{
    IniciaConsola();
    Presenta();
    if (argc != 2)
        MuestraUso();
    const char* base = argv[1];
    CompruebaBase(base);

    ComponeNombreArchivo(NombreArchivo, base, ".cmp");
    char visible[TamNombreVisible];
    EscapaNombre(NombreArchivo, visible);
    printf("\nFile of compressed data: %s\n", visible);
    Entrada = fopen(NombreArchivo, "rb");
    if (!Entrada)
        ErrorFatalCon("Can't open file '%s'", NombreArchivo);
    while (LeeCabecera())
        Vuvodiv();
    fclose(Entrada);
    Entrada = nullptr;

    // Refused members did not stop the run, but it did not do its job.
    if (MiembrosNoRestaurados > 0) {
        char mensaje[64];
        snprintf(mensaje, sizeof mensaje, "%lu member%s not restored",
                 static_cast<unsigned long>(MiembrosNoRestaurados), MiembrosNoRestaurados == 1 ? "" : "s");
        ErrorFatal(mensaje);
    }
    printf("\n\nDone\n");
    return 0;
}
