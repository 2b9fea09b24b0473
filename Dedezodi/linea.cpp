// The console line of a member being packed:
// "name     oooooooooooooooooooo 42%", written as the member is packed, or
// all at once for a member another thread packed.

#include "dedezodi.h"

#include <cstring>

namespace dedezodi {

void EmpiezaLinea(const char* nombre)
{
    Mensaje("\n%-20s", EscapaArgumento(ArchivoDe(nombre)));
    DibujaBarraVacia();
}

void DibujaMarca()
{
    if (Punto < AnchoBarra) {
        if (Consola)
            putc_unlocked('o', Consola);
        ++Punto;
    }
}

// The marks of `leidos` bytes on a new bar paced for `tamano`, then the
// rest of it.
static void LlenaBarra(uint32_t tamano, uint32_t leidos)
{
    IniciaBarra(tamano);
    for (uint64_t marca = uint64_t{Paso} + 1; marca <= leidos && Punto < AnchoBarra; marca += uint64_t{Paso} + 1)
        DibujaMarca();
    CompletaBarra();
}

void RehaceBarra()
{
    RetrocedeCursor(AnchoBarra);
    DibujaBarraVacia();
}

// Back over the bar and the end of the name field: the percentage sits
// there with the bar still visible behind it.  Then, when the file's name
// had '_', the name it is stored as.
void TerminaLinea(const char* nombre)
{
    const int porcentaje =
        TamanoOriginal == 0 ? 0 : static_cast<int>(static_cast<double>(TamanoComprimido) / TamanoOriginal * 100.0 + 0.5);
    RetrocedeCursor(AnchoBarra + 6);
    Mensaje("%3d%%", porcentaje);
    if (strcmp(ArchivoDe(nombre), nombre) != 0)
        Mensaje("  %s  stored as %s", Marcas, EscapaArgumento(nombre));
}

void DibujaMiembro(const char* nombre, uint32_t tamanoDicho, uint8_t metodo)
{
    EmpiezaLinea(nombre);
    LlenaBarra(tamanoDicho, TamanoOriginal);
    if (metodo == MetodoPlano) {
        RehaceBarra();
        LlenaBarra(tamanoDicho, TamanoOriginal);
    }
    TerminaLinea(nombre);
}

}  // namespace dedezodi
