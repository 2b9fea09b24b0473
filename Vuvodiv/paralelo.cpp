// Several members at once.  Members are independent for the decoder (each
// starts from the fixed window and a fresh model), so a member whose data
// lies whole in the archive can be decoded by another thread while the main
// thread reads on.  Everything the user sees, and every file that takes its
// final name, still comes from the main thread in archive order:
//
//   - the main thread reads each header, applies the checks of the plain
//     path, carries the text conversion from member to member, opens the
//     member's folder and creates its temporary file, and hands the member
//     to the queue; a member the plain path would report on (refused,
//     skipped, cut short by the end of the archive) waits until every member
//     before it is finished, and is then done by the plain path itself;
//   - a thread decodes its member from the archive's descriptor at the
//     member's offset into the temporary file, counting the bytes instead of
//     drawing marks;
//   - the main thread finishes members in order: the line with the marks
//     those bytes draw, the rename, or the report of damage, a cut or a
//     write error.  A fatal error first finishes the members before it (the
//     hook AntesDeFatal), and removes the temporary files of those after it.
//
// The queue, its counters and the threads are fixed for the run; a member
// costs no allocation beyond its output stream.

#include "vuvodiv.h"

#include <csignal>
#include <cstring>
#include <pthread.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vuvodiv {

// A member handed out: what the main thread decided, then what the thread
// found.  The thread reads the first part and writes the second only
// between taking the member and marking it hecho, both under Cerrojo.
struct Trabajo {
    char nombre[TamNombre + 1];
    char visible[TamNombreVisible];
    int ultimo;                 // where UltimoPaso starts in nombre
    uint8_t metodo;
    bool traducir;
    bool cuidaCR;
    uint32_t original;
    uint32_t comprimido;
    int64_t posicion;           // of the member's data in the archive
    int descriptor;             // the archive's
    FILE* salida;
    int carpeta;                // the member's folder, closed when finished

    uint64_t contados;          // restored bytes, for the marks
    bool truncado;
    bool danado;
    bool errorLectura;
    bool hecho;
};

constexpr int MaxCola = 2 * MaxHilos;
static Trabajo Cola[MaxCola];
static int Capacidad;           // members handed out at most
static uint64_t Primero;        // the next to finish
static uint64_t Siguiente;      // the next for a thread
static uint64_t Ultimo;         // the next slot to fill
static bool Parar;

// Each slot's output buffer, given to its stream by the main thread, so
// that the threads allocate nothing (a thread that did would get an arena
// of its own).
constexpr int TamBufferSalida = 4096;
static char BufferSalida[MaxCola][TamBufferSalida];

static int Activos;
static pthread_t Trabajadores[MaxHilos];
static pthread_mutex_t Cerrojo = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t HayTrabajo = PTHREAD_COND_INITIALIZER;
static pthread_cond_t HayHecho = PTHREAD_COND_INITIALIZER;

// ---- The threads ---------------------------------------------------------------------

// The stored copy by blocks, through the window ring (free between members).
static void CopiaPlano()
{
    while (ContadorLectura < TamanoComprimido) {
        const size_t leidos = LeeBloqueComprimido(Texto, TamAnillo);
        EscribeBloquePlano(Texto, leidos);
    }
}

static void RestauraTrabajo(Trabajo& t)
{
    TamanoOriginal = t.original;
    TamanoComprimido = t.comprimido;
    HayQueTraducir = t.traducir;
    CuidaCR = t.cuidaCR;
    Salida = t.salida;
    DescriptorLectura = t.descriptor;
    PosicionLectura = t.posicion;
    ContadorLectura = 0;
    Truncado = MiembroDanado = ErrorLectura = false;
    OctetosContados = 0;
    if (t.metodo == MetodoPlano)
        CopiaPlano();
    else
        VuvodivLZW();
    // The data the decoder left is read all the same, as the plain path
    // reads it, so that a cut in it is found.
    while (ContadorLectura < TamanoComprimido)
        LeeBloqueComprimido(Texto, TamAnillo);
    t.contados = OctetosContados;
    t.truncado = Truncado;
    t.danado = MiembroDanado;
    t.errorLectura = ErrorLectura;
}

static void* Trabaja(void*)
{
    EnHilo = true;
    pthread_mutex_lock(&Cerrojo);
    for (;;) {
        while (Siguiente == Ultimo && !Parar)
            pthread_cond_wait(&HayTrabajo, &Cerrojo);
        if (Siguiente == Ultimo)
            break;
        Trabajo& t = Cola[Siguiente++ % static_cast<uint64_t>(Capacidad)];
        pthread_mutex_unlock(&Cerrojo);
        RestauraTrabajo(t);
        pthread_mutex_lock(&Cerrojo);
        t.hecho = true;
        pthread_cond_signal(&HayHecho);   // only the main thread waits on it
    }
    pthread_mutex_unlock(&Cerrojo);
    return nullptr;
}

// The threads hold every signal, so an interrupt always runs its handler on
// the main thread, which alone keeps the table of temporary files.
void IniciaHilos()
{
    long hilos = Hilos > 0 ? Hilos : sysconf(_SC_NPROCESSORS_ONLN);
    if (hilos > MaxHilos)
        hilos = MaxHilos;
    struct stat datos;
    if (hilos <= 1 || (ModoElegido != ModoRestaura && ModoElegido != ModoPrueba) ||
        fstat(fileno(Entrada), &datos) != 0 || !S_ISREG(datos.st_mode))
        return;
    if (ModoElegido == ModoPrueba)
        AbreSumidero();   // opened here, before any thread writes to it
    Capacidad = 2 * static_cast<int>(hilos);
    Primero = Siguiente = Ultimo = 0;
    Parar = false;
    sigset_t todas, previas;
    sigfillset(&todas);
    pthread_sigmask(SIG_SETMASK, &todas, &previas);
    for (Activos = 0; Activos < hilos - 1; ++Activos)   // and the main thread
        if (pthread_create(&Trabajadores[Activos], nullptr, Trabaja, nullptr) != 0)
            break;
    pthread_sigmask(SIG_SETMASK, &previas, nullptr);
    if (Activos > 0)
        AntesDeFatal = DrenaPendientes;
}

// ---- Finishing in order ------------------------------------------------------------------

// The main thread's own member (the header read last) while an earlier one
// is finished through the same globals.
struct Guardado {
    char nombre[TamNombre + 1];
    char visible[TamNombreVisible];
    uint32_t original, comprimido, contador;
    bool truncado, danado, errorLectura;
    FILE* salida;
    const char* ultimo;
    int carpeta;
};

static void Guarda(Guardado& g)
{
    memcpy(g.nombre, Nombre, sizeof g.nombre);
    memcpy(g.visible, NombreVisible, sizeof g.visible);
    g.original = TamanoOriginal;
    g.comprimido = TamanoComprimido;
    g.contador = ContadorLectura;
    g.truncado = Truncado;
    g.danado = MiembroDanado;
    g.errorLectura = ErrorLectura;
    g.salida = Salida;
    g.ultimo = UltimoPaso;
    g.carpeta = CarpetaSalida;
}

static void Recupera(const Guardado& g)
{
    memcpy(Nombre, g.nombre, sizeof g.nombre);
    memcpy(NombreVisible, g.visible, sizeof g.visible);
    TamanoOriginal = g.original;
    TamanoComprimido = g.comprimido;
    ContadorLectura = g.contador;
    Truncado = g.truncado;
    MiembroDanado = g.danado;
    ErrorLectura = g.errorLectura;
    Salida = g.salida;
    UltimoPaso = g.ultimo;
    CarpetaSalida = g.carpeta;
}

// The member's line as the plain path draws it: the marks of its bytes
// (one per Paso + 1, twenty at most), then the plain path's own ending.
static void TerminaTrabajo(const Trabajo& t)
{
    Guardado guardado;
    Guarda(guardado);
    memcpy(Nombre, t.nombre, sizeof t.nombre);
    memcpy(NombreVisible, t.visible, sizeof t.visible);
    TamanoOriginal = t.original;
    TamanoComprimido = ContadorLectura = t.comprimido;
    Truncado = t.truncado;
    MiembroDanado = t.danado;
    ErrorLectura = t.errorLectura;
    Salida = t.salida;
    UltimoPaso = Nombre + t.ultimo;
    CarpetaSalida = t.carpeta;
    Mensaje("\n%-14s", NombreVisible);
    DibujaBarraVacia();
    IniciaBarra();
    const uint64_t marcas = t.contados / (uint64_t{Paso} + 1);
    Punto = marcas < AnchoBarra ? static_cast<int32_t>(marcas) : AnchoBarra;
    Mensaje("%.*s", static_cast<int>(Punto), "oooooooooooooooooooo");
    TerminaMiembro();
    Recupera(guardado);
}

static Trabajo& EnCola(uint64_t i) { return Cola[i % static_cast<uint64_t>(Capacidad)]; }

static bool EstaHecho(uint64_t i)
{
    pthread_mutex_lock(&Cerrojo);
    const bool hecho = EnCola(i).hecho;
    pthread_mutex_unlock(&Cerrojo);
    return hecho;
}

// The main thread restores a member itself rather than wait.  Its own
// member's state, its text conversion and its reading from Entrada are kept.
static void RestauraAqui(Trabajo& t)
{
    Guardado guardado;
    Guarda(guardado);
    const bool traducir = HayQueTraducir;
    const bool cuidaCR = CuidaCR;
    EnHilo = true;
    RestauraTrabajo(t);
    EnHilo = false;
    DescriptorLectura = -1;
    HayQueTraducir = traducir;
    CuidaCR = cuidaCR;
    Recupera(guardado);
}

// A fatal error while the first member is finished is that member's, and
// the members after it must not be finished first.
static void TerminaPrimero()
{
    pthread_mutex_lock(&Cerrojo);
    while (!EnCola(Primero).hecho) {
        if (Siguiente == Ultimo) {
            pthread_cond_wait(&HayHecho, &Cerrojo);
            continue;
        }
        Trabajo& t = EnCola(Siguiente++);
        pthread_mutex_unlock(&Cerrojo);
        RestauraAqui(t);
        pthread_mutex_lock(&Cerrojo);
        t.hecho = true;
    }
    pthread_mutex_unlock(&Cerrojo);
    void (*antes)() = AntesDeFatal;
    AntesDeFatal = nullptr;
    TerminaTrabajo(EnCola(Primero));
    AntesDeFatal = antes;
    ++Primero;
}

void DrenaPendientes()
{
    while (Primero < Ultimo)
        TerminaPrimero();
}

void ParaHilos()
{
    DrenaPendientes();
    if (Activos == 0)
        return;
    pthread_mutex_lock(&Cerrojo);
    Parar = true;
    pthread_cond_broadcast(&HayTrabajo);
    pthread_mutex_unlock(&Cerrojo);
    for (int i = 0; i < Activos; ++i)
        pthread_join(Trabajadores[i], nullptr);
    Activos = 0;
    AntesDeFatal = nullptr;
}

// ---- Handing out -------------------------------------------------------------------------

// Whether a step of the member's name may name the file of a member still
// pending (case aside, which a folder may ignore): what this member finds
// in the target folder could then depend on that one's rename.
static bool ChocaConPendiente()
{
    for (uint64_t i = Primero; i < Ultimo; ++i) {
        const char* ultimo = EnCola(i).nombre + EnCola(i).ultimo;
        const size_t largo = strlen(ultimo);
        for (const char* paso = Nombre;;) {
            const char* fin = strchr(paso, '/');
            const size_t este = fin ? static_cast<size_t>(fin - paso) : strlen(paso);
            if (este == largo && strncasecmp(paso, ultimo, largo) == 0)
                return true;
            if (!fin)
                break;
            paso = fin + 1;
        }
    }
    return false;
}

// Only data that lies whole in the archive is handed out: a cut is reported
// by the plain path, as it always was.
static bool CabeEnArchivo(int64_t* posicion)
{
    const off_t aqui = ftello(Entrada);
    struct stat datos;
    *posicion = aqui;
    return aqui >= 0 && fstat(fileno(Entrada), &datos) == 0 && S_ISREG(datos.st_mode) &&
           aqui + static_cast<off_t>(TamanoComprimido) <= datos.st_size;
}

bool DespachaMiembro()
{
    if (Activos == 0)
        return false;
    int64_t posicion;
    if (!CabeEnArchivo(&posicion)) {
        DrenaPendientes();
        return false;
    }
    while (Ultimo - Primero == static_cast<uint64_t>(Capacidad))
        TerminaPrimero();
    while (Primero < Ultimo && EstaHecho(Primero))
        TerminaPrimero();
    FILE* salida = ModoElegido == ModoPrueba ? AbreSumidero() : nullptr;
    int carpeta = CarpetaSalida;
    if (ModoElegido == ModoRestaura) {
        if (ChocaConPendiente())
            DrenaPendientes();
        salida = AbreArchivoMiembro();
        if (!salida)
            return true;   // refused or skipped: reported, and its data passed
        carpeta = TomaRuta();
        setvbuf(salida, BufferSalida[Ultimo % static_cast<uint64_t>(Capacidad)], _IOFBF, TamBufferSalida);
    }
    Trabajo& t = EnCola(Ultimo);
    memcpy(t.nombre, Nombre, sizeof t.nombre);
    memcpy(t.visible, NombreVisible, sizeof t.visible);
    t.ultimo = ModoElegido == ModoRestaura ? static_cast<int>(UltimoPaso - Nombre) : 0;
    t.metodo = Metodo;
    t.traducir = HayQueTraducir;
    t.cuidaCR = CuidaCR;
    t.original = TamanoOriginal;
    t.comprimido = TamanoComprimido;
    t.posicion = posicion;
    t.descriptor = fileno(Entrada);
    t.salida = salida;
    t.carpeta = carpeta;
    pthread_mutex_lock(&Cerrojo);
    t.hecho = false;
    ++Ultimo;
    pthread_cond_signal(&HayTrabajo);
    pthread_mutex_unlock(&Cerrojo);
    SaltaDatos();
    return true;
}

}  // namespace vuvodiv
