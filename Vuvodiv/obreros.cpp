// Several members at once.  Members are independent for the decoder (each
// starts from the fixed window and a fresh model), so a member whose data
// lies whole in the archive can be decoded by another thread while the main
// thread reads on.  The main thread reads each header, decides the member
// and opens its output (recorrido.cpp), then copies its record into a slot
// of the queue here; a thread decodes the slot's member from the archive's
// descriptor at the member's offset, with a decoder of its own, counting
// the bytes instead of drawing marks.  The members come back in archive
// order, for the console to finish (lineas.cpp); while the oldest is not
// done, the main thread decodes a waiting one itself rather than wait.
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

// A slot's record is the main thread's until it is handed out, the taking
// thread's from then until hecho is set (under CerrojoCola), and the main
// thread's again after.
struct Puesto {
    Miembro miembro;
    bool hecho;
};

constexpr int MaxCola = 2 * MaxObreros;
static Puesto Cola[MaxCola];
static int Capacidad;           // members handed out at most
static uint64_t Primero;        // the next to finish
static uint64_t Siguiente;      // the next for a thread
static uint64_t Ultimo;         // the next slot to fill
static bool PararObreros;

// Each slot's output buffer, given to its stream by the main thread, so
// that the threads allocate nothing (a thread that did would get an arena
// of its own).
constexpr int TamBufferSalida = 4096;
static char BufferSalida[MaxCola][TamBufferSalida];

static int NumObreros;
static pthread_t Obreros[MaxObreros];
static Decodificador DeObrero[MaxObreros];
static Decodificador* DelPrincipal;
static pthread_mutex_t CerrojoCola = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t HayTrabajo = PTHREAD_COND_INITIALIZER;
static pthread_cond_t HayHecho = PTHREAD_COND_INITIALIZER;

static Puesto& EnCola(uint64_t i) { return Cola[i % static_cast<uint64_t>(Capacidad)]; }

// Takes the next waiting member and decodes it with d; false when none
// waits.  Called and left with CerrojoCola held.
static bool TomaYRestaura(Decodificador& d)
{
    if (Siguiente == Ultimo)
        return false;
    Puesto& p = EnCola(Siguiente++);
    pthread_mutex_unlock(&CerrojoCola);
    RestauraDatos(p.miembro, d);
    pthread_mutex_lock(&CerrojoCola);
    p.hecho = true;
    return true;
}

static void* TrabajaObrero(void* decodificador)
{
    Decodificador& d = *static_cast<Decodificador*>(decodificador);
    pthread_mutex_lock(&CerrojoCola);
    for (;;) {
        while (Siguiente == Ultimo && !PararObreros)
            pthread_cond_wait(&HayTrabajo, &CerrojoCola);
        if (!TomaYRestaura(d))
            break;
        pthread_cond_signal(&HayHecho);   // only the main thread waits on it
    }
    pthread_mutex_unlock(&CerrojoCola);
    return nullptr;
}

// The threads hold every signal, so an interrupt always runs its handler on
// the main thread, which alone keeps the table of temporary files.
void IniciaObreros(Decodificador& propio)
{
    NumObreros = 0;
    const int hilos = HilosPedidos;
    struct stat datos;
    if (hilos <= 1 || !ModoElegido->conHilos || fstat(fileno(Entrada), &datos) != 0 || !S_ISREG(datos.st_mode))
        return;
    if (ModoElegido->destino == ANinguna)
        AbreSumidero();   // opened here, before any thread writes to it
    DelPrincipal = &propio;
    Capacidad = 2 * static_cast<int>(hilos);
    Primero = Siguiente = Ultimo = 0;
    PararObreros = false;
    sigset_t todas, previas;
    sigfillset(&todas);
    pthread_sigmask(SIG_SETMASK, &todas, &previas);
    for (; NumObreros < hilos - 1; ++NumObreros)   // and the main thread
        if (pthread_create(&Obreros[NumObreros], nullptr, TrabajaObrero, &DeObrero[NumObreros]) != 0)
            break;
    pthread_sigmask(SIG_SETMASK, &previas, nullptr);
}

void ParaObreros()
{
    if (NumObreros == 0)
        return;
    pthread_mutex_lock(&CerrojoCola);
    PararObreros = true;
    pthread_cond_broadcast(&HayTrabajo);
    pthread_mutex_unlock(&CerrojoCola);
    for (int i = 0; i < NumObreros; ++i)
        pthread_join(Obreros[i], nullptr);
    NumObreros = 0;
}

// Only data that lies whole in the archive is handed out: a cut is reported
// by the main thread's own path, as it always was.
bool CabeEnArchivo(Miembro& m)
{
    if (NumObreros == 0)
        return false;
    const off_t aqui = ftello(Entrada);
    struct stat datos;
    m.posicion = aqui;
    return aqui >= 0 && fstat(fileno(Entrada), &datos) == 0 && S_ISREG(datos.st_mode) &&
           aqui + static_cast<off_t>(m.comprimido) <= datos.st_size;
}

bool ColaLlena() { return NumObreros > 0 && Ultimo - Primero == static_cast<uint64_t>(Capacidad); }

bool PrimeroHecho()
{
    if (Primero == Ultimo)
        return false;
    pthread_mutex_lock(&CerrojoCola);
    const bool hecho = EnCola(Primero).hecho;
    pthread_mutex_unlock(&CerrojoCola);
    return hecho;
}

// Case aside, which a folder may ignore: what this member finds in the
// target folder could depend on a pending member's rename.
bool ChocaConPendiente(const Miembro& m)
{
    if (ModoElegido->destino != AArchivo)
        return false;
    for (uint64_t i = Primero; i < Ultimo; ++i) {
        const Miembro& otro = EnCola(i).miembro;
        const char* ultimo = otro.nombre + otro.ultimo;
        const size_t largo = strlen(ultimo);
        for (const char* paso = m.nombre;;) {
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

void Entrega(const Miembro& m)
{
    const uint64_t puesto = Ultimo % static_cast<uint64_t>(Capacidad);
    Miembro& copia = Cola[puesto].miembro;
    copia = m;
    copia.descriptor = fileno(Entrada);
    if (ModoElegido->destino == AArchivo)
        setvbuf(copia.salida, BufferSalida[puesto], _IOFBF, TamBufferSalida);
    pthread_mutex_lock(&CerrojoCola);
    Cola[puesto].hecho = false;
    ++Ultimo;
    pthread_cond_signal(&HayTrabajo);
    pthread_mutex_unlock(&CerrojoCola);
}

Miembro* EsperaPrimero()
{
    if (Primero == Ultimo)
        return nullptr;
    pthread_mutex_lock(&CerrojoCola);
    while (!EnCola(Primero).hecho)
        if (!TomaYRestaura(*DelPrincipal))
            pthread_cond_wait(&HayHecho, &CerrojoCola);
    pthread_mutex_unlock(&CerrojoCola);
    return &EnCola(Primero).miembro;
}

void LiberaPrimero() { ++Primero; }

}  // namespace vuvodiv
