// The list mode: one line per chosen member from its header alone (name,
// type, method, both sizes, ratio) and a line of totals.  The data is
// passed over without decoding; a member cut short by the end of the
// archive and an unknown method are reported as restoring would report
// them.  The listing is what the mode is asked for, so a quiet run prints
// it too, for a script: one line per member, no header, no totals.  Every
// column but the name is one word, so awk and sort -k split it as shown.

#include "vuvodiv.h"

#include <algorithm>

namespace vuvodiv {

static uint64_t TotalOriginal;
static uint64_t TotalComprimido;
static uint32_t Listados;

// Packed size as a percentage of the original, as the compressor shows it.
static int Proporcion(uint64_t comprimido, uint64_t original)
{
    if (original == 0)
        return 0;
    return static_cast<int>(static_cast<double>(comprimido) / static_cast<double>(original) * 100.0 + 0.5);
}

static const char* const NombresTipo[] = {"binary", "text", "text-nocr", "translated"};
static const char* const NombresMetodo[] = {"stored", "LZH"};   // MetodoPlano, MetodoLZH

// A header field's word: its name, or its number after sinNombre.
template <unsigned N>
static void NombraCampo(char* texto, size_t tamano, unsigned valor, const char* const (&nombres)[N],
                        const char* sinNombre)
{
    if (valor < N)
        snprintf(texto, tamano, "%s", nombres[valor]);
    else
        snprintf(texto, tamano, "%s%u", sinNombre, valor);
}

// The name takes 14 columns on the terminal, whatever bytes its characters
// take.
constexpr int AnchoColumnaNombre = 14;

void ListaMiembro(Miembro& m)
{
    if (Listados++ == 0)
        Mensaje("\n%-14s  %-10s  %-10s  %10s  %10s  %5s", "Name", "Type", "Method", "Original", "Packed", "Ratio");
    SaltaDatos(m);   // before the line: a member cut short is reported instead
    char tipo[16], metodo[24];
    NombraCampo(tipo, sizeof tipo, m.tipo, NombresTipo, "");
    NombraCampo(metodo, sizeof metodo, m.metodo, NombresMetodo, "method-");
    char linea[TamNombreVisible + 80];
    snprintf(linea, sizeof linea, "%s%*s  %-10s  %-10s  %10lu  %10lu  %4d%%", m.visible,
             std::max(0, AnchoColumnaNombre - AnchoVisible(m.visible)), "", tipo, metodo, static_cast<unsigned long>(m.original), static_cast<unsigned long>(m.comprimido),
             Proporcion(m.comprimido, m.original));
    if (Consola)
        Mensaje("\n%s", linea);
    else
        printf("%s\n", linea);
    if (m.metodo != MetodoPlano && m.metodo != MetodoLZH) {
        ++MiembrosNoRestaurados;
        if (!Consola) {   // the line itself says it otherwise
            snprintf(metodo, sizeof metodo, "unknown method %u", static_cast<unsigned>(m.metodo));
            InformaFallo(m.visible, metodo, true);
        }
    }
    TotalOriginal += m.original;
    TotalComprimido += m.comprimido;
}

void ListaTotales()
{
    char miembros[32];
    snprintf(miembros, sizeof miembros, "%lu member%s", static_cast<unsigned long>(Listados),
             Listados == 1 ? "" : "s");
    Mensaje("\n%-14s  %-10s  %-10s  %10llu  %10llu  %4d%%", miembros, "", "",
            static_cast<unsigned long long>(TotalOriginal), static_cast<unsigned long long>(TotalComprimido),
            Proporcion(TotalComprimido, TotalOriginal));
    Listados = 0;
    TotalOriginal = TotalComprimido = 0;
}

}  // namespace vuvodiv
