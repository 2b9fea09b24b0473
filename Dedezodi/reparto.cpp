// The list packed by several threads, whole members at a time, into the
// archive one thread writes.
//
// A member's stream depends on the one before only through the window
// bytes that member leaves at positions 4036..4154 (the lookahead and the
// copy of the ring's start after it), and only when it reads fewer than
// those 119 bytes: a longer member overwrites each of them before its
// finder first reads it.  So a worker packs a member into a file of its own
// (a spill) with whatever window it has, and the thread that packs the
// list lays the spills into the archive in list order, header first, and
// draws their lines.  A member that read fewer than 119 bytes, or that
// failed on the worker, is packed again by that thread in its turn, with
// the window the member before left, so its stream, its line and any fatal
// error come out as one thread makes them.
//
// The packing thread takes a member itself when it is the next to lay
// (straight into the archive, its line drawn as it goes, its trees shared
// with every worker that is or becomes free), or into its own spill when
// the next is still being packed elsewhere.

#include "arbol.h"
#include "dedezodi.h"
#include "equipo.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace dedezodi {

int MiembrosAjenos;

// The window bytes a member depends on and leaves behind.
constexpr int TamCola = TamVentana + Anticipo - 1 - InicioEscritura;   // 119

// A member packed apart, by worker w or (0) by the packing thread.
struct Encargo {
    int miembro;                // index in the list; -1: none
    FILE* derrame;              // its packed data; nullptr: no spill, no member
    uint32_t leidos;
    uint32_t comprimidos;
    uint64_t intento;           // bytes of the LZH attempt, which a stored copy overwrote
    uint8_t metodo;
    bool fallo;
    uint8_t cola[TamCola];
};
static Encargo Encargos[MaxHilos];
static uint8_t Cola[TamCola];   // what the last member laid left in the window

static void EmpaquetaEncargo(int yo)
{
    Encargo& e = Encargos[yo];
    FILE* const archivo = Salida;
    Encargado = true;
    Salida = e.derrame;
    rewind(Salida);
    e.fallo = !AbreEntrada(Nombres[e.miembro]);
    if (!e.fallo) {
        e.metodo = CodificaMiembro(DedezodiLZH, &e.intento);
        e.fallo = Fallido || ferror(Salida) || fflush(Salida) != 0;
        e.leidos = TamanoOriginal;
        e.comprimidos = TamanoComprimido;
        memcpy(e.cola, &Texto[InicioEscritura], TamCola);
    }
    CierraEntrada();
    Encargado = false;
    Salida = archivo;
}

// Member k here, straight into the archive, from the window the member
// before left.
static void EmpaquetaAqui(int k)
{
    memcpy(&Texto[InicioEscritura], Cola, TamCola);
    Dedezodi(Nombres[k], Tipos[k]);
    memcpy(Cola, &Texto[InicioEscritura], TamCola);
}

// The whole spill, the LZH attempt's tail included: a stored member leaves
// it past its data, where the next member writes over it, as when the
// member is written straight into the archive.
static void CopiaDerrame(FILE* derrame, uint64_t cuantos)
{
    static uint8_t trozo[1 << 12];
    rewind(derrame);
    while (cuantos > 0) {
        const size_t n = fread(trozo, 1, std::min<uint64_t>(cuantos, sizeof trozo), derrame);
        if (n == 0)
            ErrorFatalCon("Can't write file '%s'", NombreArchivo);
        fwrite(trozo, 1, n, Salida);
        cuantos -= n;
    }
    if (ferror(Salida))
        ErrorFatalCon("Can't write file '%s'", NombreArchivo);
}

static void Coloca(int w)
{
    Encargo& e = Encargos[w];
    const int k = e.miembro;
    e.miembro = -1;
    if (e.fallo || e.leidos < TamCola) {
        EmpaquetaAqui(k);
        return;
    }
    TamanoOriginal = e.leidos;
    TamanoComprimido = e.comprimidos;
    DibujaMiembro(Nombres[k], e.metodo);
    EscribeCabecera(Nombres[k], Tipos[k], e.metodo, e.leidos, e.comprimidos);
    CopiaDerrame(e.derrame, e.intento);
    fseeko(Salida, -static_cast<off_t>(e.intento - e.comprimidos), SEEK_CUR);
    memcpy(Cola, e.cola, TamCola);
    if (w != 0)
        ++MiembrosAjenos;
}

// A member that is a large part of the whole list is not left to one
// thread: packed alone it would keep that thread busy long after the others
// are done.  It is packed here in its turn, its trees shared by every
// thread (the workers join as they become free), and no worker takes it or
// a member after it before then.  Big: at least what sharing needs, and
// more than half an even share of all the files' bytes.
static bool Grande[MaxArchivos];

static void MarcaGrandes(int cuenta, int hilos)
{
    static uint64_t tamanos[MaxArchivos];
    uint64_t total = 0;
    for (int k = 0; k < cuenta; ++k) {
        struct stat datos;
        tamanos[k] = stat(ArchivoDe(Nombres[k]), &datos) == 0 ? static_cast<uint64_t>(datos.st_size) : 0;
        total += tamanos[k];
    }
    for (int k = 0; k < cuenta; ++k)
        Grande[k] = tamanos[k] >= MinimoCompartido && 2 * static_cast<uint64_t>(hilos) * tamanos[k] > total;
}

// Idle workers take the next members, up to a big one; returns the next
// one left.
static int Reparte(int siguiente, int cuenta, int hilos)
{
    for (int w = 1; w < hilos && siguiente < cuenta && !Grande[siguiente]; ++w) {
        if (Encargos[w].miembro < 0 && Encargos[w].derrame) {
            Encargos[w].miembro = siguiente++;
            Encarga(w, EmpaquetaEncargo);
        }
    }
    return siguiente;
}

void EmpaquetaMiembros(int cuenta)
{
    // The cost-based encoder keeps its state in one set of tables.
    const int hilos = ModoOptimo || NumHilos <= 1 ? 1 : ArrancaEquipo(NumHilos) + 1;
    EsperaEquipo();   // a fatal error may have left a task running
    for (int w = 0; w < hilos; ++w) {
        Encargos[w].miembro = -1;
        if (!Encargos[w].derrame && hilos > 1)
            Encargos[w].derrame = tmpfile();
    }
    memcpy(Cola, &Texto[InicioEscritura], TamCola);
    MarcaGrandes(cuenta, hilos);
    int siguiente = 0;
    for (int k = 0; k < cuenta;) {
        // The slot that holds member k, or -1.
        const Encargo* const e =
            std::find_if(Encargos, Encargos + hilos, [k](const Encargo& x) { return x.miembro == k; });
        const int w = e == Encargos + hilos ? -1 : static_cast<int>(e - Encargos);
        if (w >= 0 && (w == 0 || Termino(w))) {
            Coloca(w);
            ++k;
        } else if (w < 0) {   // the next to lay, and no one has it yet
            if (!Grande[k])   // a big one keeps the workers free to share it
                siguiente = Reparte(k + 1, cuenta, hilos);
            EmpaquetaAqui(k++);
        } else {
            siguiente = Reparte(siguiente, cuenta, hilos);
            if (siguiente < cuenta && !Grande[siguiente] && Encargos[0].miembro < 0 && Encargos[0].derrame) {
                Encargos[0].miembro = siguiente++;
                EmpaquetaEncargo(0);
            } else {
                EsperaTrabajador(w);
            }
        }
    }
}

}  // namespace dedezodi
