// Dedezodi: packs the files named in <base>.lst into the archive <base>.cmp.

#include "dedezodi.h"

#include "opciones.h"

#include <cstdlib>
#include <cstring>

using namespace dedezodi;

int main(int argc, char* argv[])
{
    IniciaConsola();
    int indice = LeeOpciones(argc, argv);
    if (indice < 0)
        return indice == LlamadaTerminada ? 0 : 1;
    EligeConsola(false, Silencio);
    Presenta();
    if (indice == LlamadaUso)
        MuestraUso();
    const char* base = argv[indice];
    CompruebaBase(base);

    // The list and the archive share the base's folder; the names in the
    // list are opened relative to the working folder.
    char nombreLista[TamNombreArchivo];
    ComponeNombreArchivo(nombreLista, base, ".lst");
    static char visible[4 * TamNombreArchivo];
    EscapaNombre(nombreLista, visible);
    Mensaje("\nData file: %s\n", visible);
    int cuenta = ExtraeNombres(nombreLista, Nombres, Tipos);
    Mensaje("\nNumber of files: %d\n", cuenta);

    ComponeNombreArchivo(NombreArchivo, base, ".cmp");
    Salida = CreaTemporal(NombreArchivo);
    if (!Salida)
        ErrorFatalCon("Can't create file '%s'", NombreArchivo);
    EmpaquetaMiembros(Nombres, Tipos, cuenta);
    EscribeFalsaCabecera();
    if (!ConfirmaTemporal(Salida, NombreArchivo))
        ErrorFatalCon("Can't write file '%s'", NombreArchivo);
    Salida = nullptr;
    Mensaje("\n\nDone\n");
    return 0;
}
