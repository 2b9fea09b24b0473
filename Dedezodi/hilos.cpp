// The LZH encoder on several threads, writing the single-threaded encoder's
// archive byte for byte.
//
// The 256 trees of the match finder are independent: a position goes into
// the tree of its first byte, and every insertion, deletion and replacement
// touches that tree alone, so what an insertion finds depends only on that
// tree's history and the window bytes.  And the order of the finder's
// operations does not depend on the coder's choices: after the start of a
// member (61 insertions), slide t deletes window position t-1, writes input
// byte t+59 there if the input has it, and inserts position 4036+t while
// input byte t exists (positions modulo 4096).  So each thread (the caller included) owns some trees,
// keeps its own window and links, replays every window write and deletion
// but only the insertions into its own trees, and records the (length,
// position) each insertion finds.  The coder takes each step's match from
// the record of the tree's owner.  The position an insertion carries over
// from the one before differs between threads, but only where nothing was
// found, and then it is never coded.
//
// A member is cut into blocks of TamBloque slides.  In round j every thread
// replays block j, and the calling thread, the coder, also reads the input
// of block j+1 and codes the steps that start in block j-1.  Between rounds
// the threads wait for one another, and the coder moves trees between them
// so that the next round's work is even: each tree is expected to cost as
// many nodes as it did in this round, and the coder's own reading and
// coding count as work too.  A tree changes hands by copying the links of
// its positions; the window is the same in every thread.  A member after
// the first depends on the one before only through the window bytes it
// leaves behind, and every thread's window starts each member as the
// coder's.
//
// Everything is fixed in size: the threads start once, the records of a
// thread hold two blocks, the input ring four.  The threads are POSIX ones:
// the C++ library's would bring in a shared library whose loading alone
// costs more memory than the encoder uses.

#include "arbol.h"
#include "dedezodi.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <unistd.h>

namespace dedezodi {

constexpr int TamBloque = 1 << 15;                 // slides per round
constexpr int TamAnillo = 4 * TamBloque;           // input ring: blocks j-1..j+2
constexpr int MascaraAnillo = TamAnillo - 1;
static_assert(3 * TamBloque + Anticipo <= TamAnillo, "the ring holds what a round reads and codes");

static int CuentaProcesadores()
{
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n < 1 ? 1 : n > MaxHilos ? MaxHilos : static_cast<int>(n);
}

int NumHilos = CuentaProcesadores();

// ---- Shared state --------------------------------------------------------------

// One thread's finder as seen by the coder, which copies trees between them
// while the others wait, and its records: per slide of the last two blocks,
// the length found (low half) and the position (high half).
struct alignas(64) Hilo {
    uint8_t* texto;
    int16_t* superior;
    int16_t* izquierdo;
    int16_t* derecho;
    uint32_t* trabajo;
    double segundos;                  // CPU time of its last replay
    uint32_t registros[2][TamBloque];
};
static Hilo Hilos[MaxHilos];          // 0 is the coder

// Written by the coder only while the workers wait; read by them after the
// round is given out.
static uint8_t Anillo[TamAnillo];     // input byte i at i & MascaraAnillo
static uint8_t Dueno[2][NumArboles];  // the thread that owns each tree, per round parity
static int Paridad;                   // the round's parity: which map and records
static bool EmpiezaMiembro;           // the round starts the member
static uint64_t PrimeraDeslizada;     // slides of the round, both ends included
static uint64_t UltimaDeslizada;
static uint64_t LeidosRonda;          // input bytes read when the round was given out
static int Activos;                   // threads taking part, the coder included
static bool Parar;

// The coder's own count of input bytes read and whether the input ended.
// Counts of bytes and slides are 64-bit: a member of nearly 4 GiB reads
// ahead past 2^32.
static uint64_t Leidos;
static bool FinEntrada;

// Rounds given out by the coder, and the last round each worker finished.
static std::atomic<uint32_t> RondasDadas;
static std::atomic<uint32_t> RondasHechas[MaxHilos];
static pthread_mutex_t Cerrojo = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t Aviso = PTHREAD_COND_INITIALIZER;
static pthread_t Trabajadores[MaxHilos];
static int Arrancados;                // worker threads running: 1..Arrancados
static int Pedidos;                   // the thread count they were started for

// ---- Waiting -------------------------------------------------------------------

// A round takes milliseconds and the others are usually about to finish:
// spin a little before sleeping.
static void Espera(const std::atomic<uint32_t>& contador, uint32_t valor)
{
    for (int i = 0; i < 4000; ++i) {
        if (contador.load(std::memory_order_acquire) >= valor)
            return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    pthread_mutex_lock(&Cerrojo);
    while (contador.load(std::memory_order_acquire) < valor)
        pthread_cond_wait(&Aviso, &Cerrojo);
    pthread_mutex_unlock(&Cerrojo);
}

static void Publica(std::atomic<uint32_t>& contador, uint32_t valor)
{
    // Under the lock, so that a thread between its test and its sleep cannot
    // miss the change.
    pthread_mutex_lock(&Cerrojo);
    contador.store(valor, std::memory_order_release);
    pthread_mutex_unlock(&Cerrojo);
    pthread_cond_broadcast(&Aviso);
}

static double TiempoHilo()
{
    timespec ahora;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ahora);
    return static_cast<double>(ahora.tv_sec) + ahora.tv_nsec * 1e-9;
}

// ---- Replaying the window --------------------------------------------------------

static void Registra(uint32_t* registros, uint64_t t)
{
    registros[t % TamBloque] = static_cast<uint16_t>(LongIgual) | static_cast<uint32_t>(PosIgual) << 16;
}

// The start of a member as DedezodiLZH does it, with the insertions into
// the trees of thread `yo` only.
static void EmpiezaVentana(int yo, const uint8_t* dueno, uint32_t* registros)
{
    IniciaArbol();
    const int r = InicioEscritura;
    for (int i = 0; i < r; ++i)
        Texto[i] = RellenoVentana;
    const uint32_t largo = LeidosRonda < Anticipo ? static_cast<uint32_t>(LeidosRonda) : Anticipo;
    for (uint32_t i = 0; i < largo; ++i)
        Texto[r + i] = Anillo[i];
    for (int i = 1; i <= Anticipo; ++i)
        if (dueno[Texto[r - i]] == yo)
            InsertaNodo(r - i);
    if (dueno[Texto[r]] == yo) {
        InsertaNodo(r);
        Registra(registros, 0);
    }
}

// Thread `yo`'s part of the round given out.  An empty member still makes
// its one insertion after the first slide, as DedezodiLZH does.
static void ReproduceRonda(int yo)
{
    const double inicio = TiempoHilo();
    const uint8_t* const dueno = Dueno[Paridad];
    uint32_t* const registros = Hilos[yo].registros[Paridad];
    const uint64_t leidos = LeidosRonda;
    uint64_t t = PrimeraDeslizada;
    if (EmpiezaMiembro) {
        EmpiezaVentana(yo, dueno, registros);
        t = 1;
    }
    for (; t <= UltimaDeslizada; ++t) {
        const int s = static_cast<int>((t - 1) & MascaraVentana);
        BorraNodo(s);
        if (t + (Anticipo - 1) < leidos)
            GuardaEnVentana(s, Anillo[(t + (Anticipo - 1)) & MascaraAnillo]);
        const int r = static_cast<int>((InicioEscritura + t) & MascaraVentana);
        if ((t < leidos || leidos == 0) && dueno[Texto[r]] == yo) {
            InsertaNodo(r);
            Registra(registros, t);
        }
    }
    Hilos[yo].segundos = TiempoHilo() - inicio;
}

// ---- The workers ---------------------------------------------------------------

static void Apunta(int yo)
{
    Hilos[yo].texto = Texto;
    Hilos[yo].superior = Superior;
    Hilos[yo].izquierdo = Izquierdo;
    Hilos[yo].derecho = Derecho;
    Hilos[yo].trabajo = Trabajo;
}

static void* Trabaja(void* numero)
{
    const int yo = static_cast<int>(reinterpret_cast<intptr_t>(numero));
    uint32_t ronda = RondasDadas.load();
    Apunta(yo);
    Publica(RondasHechas[yo], ronda);
    for (;;) {
        Espera(RondasDadas, ronda + 1);
        if (Parar)
            return nullptr;
        ++ronda;
        ReproduceRonda(yo);
        Publica(RondasHechas[yo], ronda);
    }
}

static void TerminaHilos()
{
    if (Arrancados == 0)
        return;
    Parar = true;
    Publica(RondasDadas, RondasDadas.load() + 1);
    for (int w = 1; w <= Arrancados; ++w)
        pthread_join(Trabajadores[w], nullptr);
    Arrancados = 0;
    Parar = false;
}

// Starts the workers once per run (again only if NumHilos changes); each
// reports the addresses of its finder and then waits for rounds.
static void ArrancaHilos(int hilos)
{
    static bool registrado = false;
    if (!registrado) {
        atexit(TerminaHilos);
        registrado = true;
    }
    if (Pedidos == hilos)
        return;
    TerminaHilos();
    Pedidos = hilos;
    // A round number no worker has reached: each reports it once ready.
    const uint32_t ronda = RondasDadas.load() + 1;
    RondasDadas.store(ronda);
    Arrancados = 0;
    for (int w = 1; w < hilos; ++w) {
        RondasHechas[w].store(0);
        if (pthread_create(&Trabajadores[w], nullptr, Trabaja, reinterpret_cast<void*>(static_cast<intptr_t>(w))) != 0)
            break;   // fewer threads, the same archive
        Arrancados = w;
    }
    for (int w = 1; w <= Arrancados; ++w)
        Espera(RondasHechas[w], ronda);
    for (int b = 0; b < NumArboles; ++b)
        Dueno[0][b] = Dueno[1][b] = static_cast<uint8_t>(b % (Arrancados + 1));
}

static void EsperaHilos(int hasta)
{
    const uint32_t ronda = RondasDadas.load();
    for (int w = 1; w <= hasta; ++w)
        Espera(RondasHechas[w], ronda);
}

// ---- Sharing the trees -----------------------------------------------------------

// Moves every tree whose owner differs between the two maps, while all
// threads wait between rounds.  A position lies in the tree of its first
// byte, and the window is the same in every thread.
static void MueveArboles(const uint8_t* antes, const uint8_t* despues)
{
    bool alguno = false;
    for (int b = 0; b < NumArboles; ++b) {
        if (antes[b] == despues[b])
            continue;
        alguno = true;
        Hilo& de = Hilos[antes[b]];
        Hilo& a = Hilos[despues[b]];
        a.derecho[PrimeraRaiz + b] = de.derecho[PrimeraRaiz + b];
        de.derecho[PrimeraRaiz + b] = EnlaceVacio;
    }
    if (!alguno)
        return;
    for (int p = 0; p < TamVentana; ++p) {
        const uint8_t b = Texto[p];
        Hilo& de = Hilos[antes[b]];
        if (antes[b] == despues[b] || de.superior[p] == EnlaceVacio)
            continue;
        Hilo& a = Hilos[despues[b]];
        a.superior[p] = de.superior[p];
        a.izquierdo[p] = de.izquierdo[p];
        a.derecho[p] = de.derecho[p];
        de.superior[p] = EnlaceVacio;
    }
}

// The map for the next round.  Each tree is expected to cost what it cost
// in this one; a node costs the threads' replay time over the nodes they
// visited, and the coder's reading and coding (`aparte`, in seconds) are
// worth that many nodes.  Every thread should end up with the same total,
// so the coder gets less; the trees go, heaviest first, to the thread
// furthest below its share.  Trees unused in the round stay where they are.
//
// Nodes are not all alike (a long run of equal bytes makes each comparison
// read all 60 bytes), so the estimate is off by a steady amount on a given
// input: Sesgo, a share of the nodes taken from the coder, learns it from
// how much longer the coder worked than the average worker.
static double Sesgo;

static void Reparte(double aparte, const uint8_t* antes, uint8_t* despues)
{
    uint64_t costo[NumArboles] = {};
    uint64_t total = 0;
    double segundos = 0;
    for (int h = 0; h < Activos; ++h) {
        for (int b = 0; b < NumArboles; ++b) {
            costo[b] += Hilos[h].trabajo[b];
            Hilos[h].trabajo[b] = 0;
        }
        segundos += Hilos[h].segundos;
    }
    for (int b = 0; b < NumArboles; ++b)
        total += costo[b];
    memcpy(despues, antes, NumArboles);
    if (total == 0 || Activos == 1)   // one thread: no worker could start
        return;

    const double nodosAparte = segundos > 0 ? aparte * static_cast<double>(total) / segundos : 0;
    const double coder = Hilos[0].segundos + aparte;
    const double otros = (segundos - Hilos[0].segundos) / (Activos - 1);
    if (coder + otros > 0)
        Sesgo += 0.25 * (coder - otros) / (coder + otros);
    Sesgo = Sesgo < -0.5 ? -0.5 : Sesgo > 0.5 ? 0.5 : Sesgo;
    const double ventaja = nodosAparte + Sesgo * static_cast<double>(total);
    double falta[MaxHilos];
    const double parte = (static_cast<double>(total) + ventaja) / Activos;
    falta[0] = parte - ventaja;
    for (int h = 1; h < Activos; ++h)
        falta[h] = parte;

    uint8_t orden[NumArboles];
    int cuantos = 0;
    for (int b = 0; b < NumArboles; ++b)
        if (costo[b] != 0)
            orden[cuantos++] = static_cast<uint8_t>(b);
    // Insertion sort, heaviest first: at most 256 trees, once a round.
    for (int i = 1; i < cuantos; ++i) {
        const uint8_t b = orden[i];
        int k = i;
        for (; k > 0 && costo[orden[k - 1]] < costo[b]; --k)
            orden[k] = orden[k - 1];
        orden[k] = b;
    }
    for (int i = 0; i < cuantos; ++i) {
        // A tree heavier than an even share (a binary's zeros) goes to a
        // worker and stays there: given to the coder, which also codes, it
        // would make the coder the slowest, and the correction would then
        // swing it back and forth each round.
        int mejor = static_cast<double>(costo[orden[i]]) > parte ? 1 : 0;
        for (int h = mejor + 1; h < Activos; ++h)
            if (falta[h] > falta[mejor])
                mejor = h;
        despues[orden[i]] = static_cast<uint8_t>(mejor);
        falta[mejor] -= static_cast<double>(costo[orden[i]]);
    }
}

// ---- The coder -----------------------------------------------------------------

static void LeeHasta(uint64_t cuantos)
{
    uint8_t octeto;
    while (!FinEntrada && Leidos < cuantos) {
        if (LeeOctetoPlano(&octeto))
            Anillo[Leidos++ & MascaraAnillo] = octeto;
        else
            FinEntrada = true;
    }
}

// Codes the steps that start in block j, from step t on, as the loop of
// DedezodiLZH does; returns where the next step starts.  The byte at the
// step is input byte t, except in an empty member, whose one step codes
// the byte left in the window.
static uint64_t CodificaBloque(uint64_t j, uint64_t t)
{
    const uint8_t* const dueno = Dueno[j & 1];
    const uint64_t fin = (j + 1) * TamBloque;
    while (t < fin && (t < Leidos || (t == 0 && Leidos == 0))) {
        const uint8_t primero = t < Leidos ? Anillo[t & MascaraAnillo] : Texto[InicioEscritura];
        const uint32_t registro = Hilos[dueno[primero]].registros[j & 1][t % TamBloque];
        uint32_t largo = registro & 0xFFFF;
        const uint64_t resto = FinEntrada ? Leidos - t : Anticipo;
        if (largo > resto)
            largo = resto;
        if (largo <= Umbral) {
            largo = 1;
            CodificaOcteto(primero);
        } else {
            CodificaOcteto(static_cast<int>(largo) + DesplazamientoLongitud);
            CodificaPosicion(registro >> 16);
        }
        t += largo;
    }
    return t;
}

static void DaRonda(uint64_t j)
{
    Paridad = static_cast<int>(j & 1);
    EmpiezaMiembro = j == 0;
    PrimeraDeslizada = j * TamBloque;
    UltimaDeslizada = (j + 1) * TamBloque - 1;
    const uint64_t ultima = Leidos == 0 ? 1 : Leidos;   // the member's last slide
    if (FinEntrada && UltimaDeslizada > ultima)
        UltimaDeslizada = ultima;
    LeidosRonda = Leidos;
    Publica(RondasDadas, RondasDadas.load() + 1);
}

int DedezodiLZHHilos()
{
    ArrancaHilos(NumHilos < MaxHilos ? NumHilos : MaxHilos);
    EsperaHilos(Arrancados);   // a fatal error may have left a round running
    Activos = Arrancados + 1;
    Apunta(0);
    for (int h = 1; h < Activos; ++h)
        memcpy(Hilos[h].texto, Texto, sizeof Texto);
    IniciaHuffman();
    Leidos = 0;
    FinEntrada = false;
    LeeHasta(TamBloque + Anticipo - 1);

    uint64_t t = 0;
    for (uint64_t j = 0;; ++j) {
        DaRonda(j);
        const double inicio = TiempoHilo();
        LeeHasta((j + 2) * TamBloque + Anticipo - 1);
        double aparte = TiempoHilo() - inicio;
        ReproduceRonda(0);
        if (j > 0) {
            const double codifica = TiempoHilo();
            t = CodificaBloque(j - 1, t);
            aparte += TiempoHilo() - codifica;
        }
        EsperaHilos(Activos - 1);
        const bool ultima = FinEntrada && UltimaDeslizada == (Leidos == 0 ? 1 : Leidos);
        Reparte(aparte, Dueno[j & 1], Dueno[(j + 1) & 1]);
        if (ultima) {
            t = CodificaBloque(j, t);
            // The next member starts with this map and empty trees.
            if ((j & 1) == 0)
                memcpy(Dueno[0], Dueno[1], NumArboles);
            break;
        }
        MueveArboles(Dueno[j & 1], Dueno[(j + 1) & 1]);
    }

    CodificaFinal();
    return OctetosComprimidos < OctetosLeidos;
}

}  // namespace dedezodi
