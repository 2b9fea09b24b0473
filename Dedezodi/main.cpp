// Dedezodi: packs the files named in <base>.lst into the archive <base>.cmp.

#include "dedezodi.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace dedezodi {

void Presenta()
{
    const char* titulo = "Dedezodi " VERSION_PROYECTO ": packs the files of a list into one compressed archive";
    printf("\n%s\n", titulo);
    for (size_t i = strlen(titulo); i > 0; --i)
        putchar('=');
    putchar('\n');
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
    setvbuf(stdout, nullptr, _IONBF, 0);
    signal(SIGXFSZ, SIG_IGN);   // a file-size limit shows as a write error
    Presenta();
    if (argc != 2)
        MuestraUso();
    const char* base = argv[1];
    if (strlen(base) > MaxLongBase)
        ErrorFatalCon("Name too long: %s", base);

    char nombreLista[MaxLongBase + 5];
    snprintf(nombreLista, sizeof nombreLista, "%s.lst", base);
    ArreglaSeparador(nombreLista);
    printf("\nData file: %s\n", nombreLista);
    int cuenta = ExtraeNombres(nombreLista, Nombres, Tipos);
    printf("\nNumber of files: %d\n", cuenta);

    snprintf(NombreArchivo, sizeof NombreArchivo, "%s.cmp", base);
    ArreglaSeparador(NombreArchivo);
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
