// Dedezodi: packs the files named in <base>.lst into the archive <base>.cmp.

#include "dedezodi.h"

#include <cstdlib>
#include <cstring>

namespace dedezodi {

void Presenta()
{
    PresentaTitulo("Dedezodi " VERSION_PROYECTO ": packs the files of a list into one compressed archive");
}

void MuestraUso()
{
    printf("\nTo call this programme:\nDedezodi FileName\n"
           "  where FileName is the name of a file with extension\n"
           "  'lst' that holds the relation of files to compress\n");
    exit(0);
}

}  // namespace dedezodi

using namespace dedezodi;

int main(int argc, char* argv[])
{
    IniciaConsola();
    Presenta();
    if (argc != 2)
        MuestraUso();
    const char* base = argv[1];
    CompruebaBase(base);

    char nombreLista[TamNombreArchivo];
    ComponeNombreArchivo(nombreLista, base, ".lst");
    char visible[TamNombreVisible];
    EscapaNombre(nombreLista, visible);
    printf("\nData file: %s\n", visible);
    int cuenta = ExtraeNombres(nombreLista, Nombres, Tipos);
    printf("\nNumber of files: %d\n", cuenta);

    ComponeNombreArchivo(NombreArchivo, base, ".cmp");
    Salida = CreaTemporal(NombreArchivo);
    if (!Salida)
        ErrorFatalCon("Can't create file '%s'", NombreArchivo);
    for (int i = 0; i < cuenta; ++i)
        Dedezodi(Nombres[i], Tipos[i]);
    EscribeFalsaCabecera();
    if (!ConfirmaTemporal(Salida, NombreArchivo))
        ErrorFatalCon("Can't write file '%s'", NombreArchivo);
    Salida = nullptr;
    printf("\n\nDone\n");
    return 0;
}
