// Several members at once.  Members are independent for the decoder (each
// starts from the fixed window and a fresh model), so a member whose data
// lies whole in the archive can be decoded by another thread while the main
// thread reads on.  The main thread reads each header, decides the member
// and opens its output (recorrido.cpp), then copies its record into a slot
// of the queue here; a thread decodes the slot's member from the archive's
// descriptor at the member's offset, with a decoder of its own, counting
// the bytes instead of drawing marks.  The members come back in archive
// order, for the console to finish (lineas.cpp); while the oldest is not
// done, the main thread decodes a waiting one itself when every thread is
// busy.
//
// Members pending hold their temporary files, so space and descriptors
// can run out where one thread would not: the queue is no longer than the
// free descriptors allow, and a member that runs out anyway is restored
// again alone (RehacePendientes).
//
// The queue, its counters and the threads are fixed for the run; a member
// costs no allocation beyond its output stream.

#include "vuvodiv.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <strings.h>
#include <sys/resource.h>
#include <unistd.h>

namespace vuvodiv {

constexpr int TamBufferSalida = 4096;

// A slot's record is the main thread's until it is handed out, the taking
// thread's from then until hecho is set (under CerrojoCola), and the main
// thread's again after.  Its output buffer is given to its stream by the
// main thread, so that the threads allocate nothing (a thread that did
// would get an arena of its own).
struct Puesto {
    Miembro miembro;
    int64_t inicio;   // where its data starts in the archive
    bool hecho;
    bool rehacer;     // its output was thrown away: restored again alone
    char bufferSalida[TamBufferSalida];
};

constexpr int MaxCola = 2 * MaxObreros;
static Puesto Cola[MaxCola];
static int Capacidad;           // members handed out at most
static uint64_t Primero;        // the next to finish
static uint64_t Siguiente;      // the next for a thread
static uint64_t Ultimo;         // the next slot to fill
static bool PararObreros;
static bool Repartir;           // members may still be handed out
static int ObrerosOcupados;     // threads decoding a member
uint32_t MiembrosDeObreros;

static int NumObreros;
static pthread_t Obreros[MaxObreros];
static Decodificador DeObrero[MaxObreros];
static Decodificador* DelPrincipal;
static pthread_mutex_t CerrojoCola = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t HayTrabajo = PTHREAD_COND_INITIALIZER;
static pthread_cond_t HayHecho = PTHREAD_COND_INITIALIZER;   // a member done, or taken by a thread

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
        ++ObrerosOcupados;
        pthread_cond_signal(&HayHecho);   // the main thread may take the next itself now
        const bool tomado = TomaYRestaura(d);
        --ObrerosOcupados;
        if (!tomado)
            break;
        ++MiembrosDeObreros;
        pthread_cond_signal(&HayHecho);   // only the main thread waits on it
    }
    pthread_mutex_unlock(&CerrojoCola);
    return nullptr;
}

// Descriptors still free under the limit, counted up to bastan.
static int DescriptoresLibres(int bastan)
{
    rlimit limite;
    if (getrlimit(RLIMIT_NOFILE, &limite) != 0)
        return bastan;
    int libres = 0;
    for (rlim_t fd = 0; fd < limite.rlim_cur && libres < bastan; ++fd)
        libres += fcntl(static_cast<int>(fd), F_GETFD) == -1;
    return libres;
}

// A member pending holds its file and its folder, and the main thread one
// more while it opens the next folder; fewer than two members at once is
// not worth a thread.  The threads hold every signal, so an interrupt
// always runs its handler on the main thread, which alone keeps the table
// of temporary files.
void IniciaObreros(Decodificador& propio)
{
    NumObreros = 0;
    Primero = Siguiente = Ultimo = 0;
    MiembrosDeObreros = 0;
    Repartir = true;
    int64_t quedan;
    if (HilosPedidos <= 1 || !ModoElegido->conHilos || !MideResto(&quedan))
        return;
    if (ModoElegido->destino == ANinguna)
        AbreSumidero();   // opened here, before any thread writes to it
    Capacidad = 2 * HilosPedidos;
    if (ModoElegido->destino == AArchivo)
        Capacidad = std::min(Capacidad, (DescriptoresLibres(2 * Capacidad + 1) - 1) / 2);
    if (Capacidad < 2)
        return;
    DelPrincipal = &propio;
    PararObreros = false;
    sigset_t todas, previas;
    sigfillset(&todas);
    pthread_sigmask(SIG_SETMASK, &todas, &previas);
    for (; NumObreros < HilosPedidos - 1; ++NumObreros)   // and the main thread
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
    for (; Primero < Ultimo; ++Primero) {
        Miembro& m = EnCola(Primero).miembro;
        if (m.salida && ModoElegido->destino == AArchivo)
            DescartaSalida(m);
        else
            CierraRuta(m);
    }
}

// Only data that lies whole in the archive is handed out: a cut is reported
// by the main thread's own path, as it always was.
bool CabeEnArchivo(const Miembro& m)
{
    if (NumObreros == 0 || !Repartir)
        return false;
    int64_t quedan;
    return MideResto(&quedan) && m.comprimido <= quedan;
}

void DejaDeRepartir() { Repartir = false; }

uint64_t SalidasPendientes() { return Repartir ? Ultimo - Primero : 0; }

bool PrimeroListo()
{
    if (Primero == Ultimo)
        return false;
    if (Ultimo - Primero == static_cast<uint64_t>(Capacidad))
        return true;
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
    Puesto& p = EnCola(Ultimo);
    p.miembro = m;
    p.miembro.descriptor = fileno(Entrada);   // read apart, from where its data starts
    p.inicio = p.miembro.posicion = ftello(Entrada);
    p.rehacer = false;
    if (ModoElegido->destino == AArchivo)
        setvbuf(p.miembro.salida, p.bufferSalida, _IOFBF, TamBufferSalida);
    pthread_mutex_lock(&CerrojoCola);
    p.hecho = false;
    ++Ultimo;
    pthread_cond_signal(&HayTrabajo);
    pthread_mutex_unlock(&CerrojoCola);
}

// Called and left with CerrojoCola held.  The main thread decodes a
// waiting member only when every thread is busy, so that the threads
// always take part: a thread not yet running is waited for (and woken
// again, should it have missed its call).
static void EsperaHecho(uint64_t i)
{
    while (!EnCola(i).hecho) {
        if (ObrerosOcupados == NumObreros && TomaYRestaura(*DelPrincipal))
            continue;
        if (Siguiente != Ultimo)
            pthread_cond_signal(&HayTrabajo);
        pthread_cond_wait(&HayHecho, &CerrojoCola);
    }
}

// From the start of its data, by the main thread, now that no member
// before it is pending.
static void RestauraSolo(Puesto& p)
{
    ReabreSalida(p.miembro);
    p.miembro.posicion = p.inicio;
    RestauraDatos(p.miembro, *DelPrincipal);
    p.rehacer = false;
}

Miembro* EsperaPrimero()
{
    if (Primero == Ultimo)
        return nullptr;
    pthread_mutex_lock(&CerrojoCola);
    EsperaHecho(Primero);
    pthread_mutex_unlock(&CerrojoCola);
    if (EnCola(Primero).rehacer)
        RestauraSolo(EnCola(Primero));
    return &EnCola(Primero).miembro;
}

// The oldest member's file is already removed.
void RehacePendientes()
{
    Repartir = false;
    pthread_mutex_lock(&CerrojoCola);
    for (uint64_t i = Primero; i < Ultimo; ++i)
        EsperaHecho(i);
    pthread_mutex_unlock(&CerrojoCola);
    for (uint64_t i = Primero + 1; i < Ultimo; ++i) {
        DescartaTemporal(EnCola(i).miembro.salida);
        EnCola(i).miembro.salida = nullptr;
        EnCola(i).rehacer = true;
    }
    RestauraSolo(EnCola(Primero));
}

void LiberaPrimero() { ++Primero; }

}  // namespace vuvodiv
