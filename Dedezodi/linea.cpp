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

// Such a member was read whole, so each of its bars is drawn full at once:
// the marks of its bytes and the rest up to twenty are all of them.
void DibujaMiembro(const char* nombre, uint8_t metodo)
{
    EmpiezaLinea(nombre);
    IniciaBarra(0);
    CompletaBarra();
    if (metodo == MetodoPlano) {
        RehaceBarra();
        IniciaBarra(0);
        CompletaBarra();
    }
    TerminaLinea(nombre);
}

}  // namespace dedezodi
