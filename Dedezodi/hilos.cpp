// The LZH encoder on several threads, writing the single-threaded encoder's
// archive byte for byte.
//
// The 256 trees of the match finder are independent: a position goes into
// the tree of its first byte, and every insertion, deletion and replacement
// touches that tree alone, so what an insertion finds depends only on that
// tree's history and the window bytes.  And the order of the finder's
// operations does not depend on the coder's choices (arbol.h).  So each
// thread (the caller included) owns some trees, keeps its own window and
// links, replays every window write and deletion but only the insertions
// into its own trees, and records the (length, position) each insertion
// finds.  The coder takes each step's match from the record of the tree's
// owner.  The position an insertion carries over from the one before
// differs between threads, but only where nothing was found, and then it
// is never coded.
//
// A member is cut into blocks of TamRonda slides.  In round j every thread
// taking part replays block j, and the calling thread, the coder, also
// reads the input of block j+1 into the ring and codes the steps that start
// in block j-1.  Between rounds the threads wait for one another, and the
// coder moves trees between them so that the next round's work is even
// (Reparte, MueveArboles).  Every thread's window starts the member as the
// coder's.
//
// A round waits for its slowest thread, so a worker that the system leaves
// without a core (another process busy on it) would hold the coder back.
// When a round shows that the split did not pay (Proximos), the coder takes
// every tree back and replays alone for a while (twice as long each time it
// tries again in vain) before giving the workers another round.

#include "arbol.h"
#include "dedezodi.h"
#include "equipo.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace dedezodi {

std::atomic<uint64_t> DeslizadasAjenas;

constexpr int TamRonda = MinimoCompartido / 2;     // slides per round
constexpr int TamAnillo = 4 * TamRonda;            // input ring: blocks j-1..j+2
constexpr int MascaraAnillo = TamAnillo - 1;
static_assert(3 * TamRonda + Anticipo <= TamAnillo, "the ring holds what a round reads and codes");
constexpr int MaxCastigo = 64;                     // rounds alone at most before trying again

// ---- Shared state --------------------------------------------------------------

// One thread's finder as seen by the coder, which copies trees between them
// while the others wait, and its records: per slide of the last two blocks,
// the length found (low half) and the position (high half).
struct alignas(64) Buscador {
    uint8_t* texto;
    int16_t* superior;
    int16_t* izquierdo;
    int16_t* derecho;
    uint32_t* trabajo;
    double segundos;                  // CPU time of its last replay
    uint32_t registros[2][TamRonda];
};
static Buscador Buscadores[MaxHilos];   // 0 is the coder

// The input ring: input byte i at i & MascaraAnillo.  The coder writes it
// during a round too, but only block j+1's bytes, which the round's replay
// (block j and the 59 bytes after it) never reads.
static uint8_t Anillo[TamAnillo];
// Written by the coder only while the workers wait; read by them after the
// round is given out.
static uint8_t Dueno[2][NumArboles];  // the thread that owns each tree, per round parity
static uint64_t PrimeraDeslizada;     // slides of the round, both ends included
static uint64_t UltimaDeslizada;
static uint64_t LeidosRonda;          // input bytes read when the round was given out
static int Activos;                   // threads taking part, the coder included,
static int Participantes[MaxHilos];   // and which: the coder (0) first

// The coder's own count of input bytes in the ring and whether the input
// ended.  Counts of bytes and slides are 64-bit: a member of nearly 4 GiB
// reads ahead past 2^32.
static uint64_t Leidos;
static bool AnilloCompleto;

static double Reloj(clockid_t reloj)
{
    timespec ahora;
    clock_gettime(reloj, &ahora);
    return static_cast<double>(ahora.tv_sec) + ahora.tv_nsec * 1e-9;
}

// ---- Replaying the window --------------------------------------------------------

static void Registra(uint32_t* registros, uint64_t t)
{
    registros[t % TamRonda] = static_cast<uint16_t>(LongIgual) | static_cast<uint32_t>(PosIgual) << 16;
}

static void Apunta(int yo)
{
    Buscadores[yo].texto = Texto;
    Buscadores[yo].superior = Superior;
    Buscadores[yo].izquierdo = Izquierdo;
    Buscadores[yo].derecho = Derecho;
    Buscadores[yo].trabajo = Trabajo;
}

// A worker that joins the rounds: no trees, and the coder's window (at a
// member's start it already holds the member's first bytes).
static void Incorpora(int yo)
{
    Apunta(yo);
    IniciaArbol();
    memcpy(Texto, Buscadores[0].texto, sizeof Texto);
}

// Thread `yo`'s part of the round given out.
static void ReproduceRonda(int yo)
{
    const double inicio = Reloj(CLOCK_THREAD_CPUTIME_ID);
    const uint64_t paridad = PrimeraDeslizada / TamRonda & 1;
    const uint8_t* const dueno = Dueno[paridad];
    uint32_t* const registros = Buscadores[yo].registros[paridad];
    const uint64_t leidos = LeidosRonda;
    uint64_t t = PrimeraDeslizada;
    if (t == 0) {   // the round starts the member
        IniciaArbol();
        InsertaPrimeras<true>([dueno, yo](int r) { return dueno[Texto[r]] == yo; });
        if (dueno[Texto[InicioEscritura]] == yo)
            Registra(registros, 0);
        t = 1;
    }
    for (; t <= UltimaDeslizada; ++t) {
        const uint64_t i = t + (Anticipo - 1);
        const bool mia = dueno[Texto[(InicioEscritura + t) & MascaraVentana]] == yo;
        const bool inserta = mia && InsertaEnDeslizada(t, leidos);
        Desliza<true>(t, i < leidos ? &Anillo[i & MascaraAnillo] : nullptr, inserta);
        if (inserta)
            Registra(registros, t);
    }
    if (yo != 0)
        DeslizadasAjenas.fetch_add(UltimaDeslizada + 1 - PrimeraDeslizada, std::memory_order_relaxed);
    Buscadores[yo].segundos = Reloj(CLOCK_THREAD_CPUTIME_ID) - inicio;
}
// ---- Sharing the trees -----------------------------------------------------------

// Moves every tree whose owner differs between the two maps, while all
// threads wait between rounds, by copying the links of its positions: a
// position lies in the tree of its first byte, and the window is the same
// in every thread.
static void MueveArboles(const uint8_t* antes, const uint8_t* despues)
{
    if (memcmp(antes, despues, NumArboles) == 0)
        return;
    for (int b = 0; b < NumArboles; ++b) {
        if (antes[b] == despues[b])
            continue;
        Buscador& de = Buscadores[antes[b]];
        Buscador& a = Buscadores[despues[b]];
        a.derecho[PrimeraRaiz + b] = de.derecho[PrimeraRaiz + b];
        de.derecho[PrimeraRaiz + b] = EnlaceVacio;
    }
    for (int p = 0; p < TamVentana; ++p) {
        const uint8_t b = Texto[p];
        Buscador& de = Buscadores[antes[b]];
        if (antes[b] == despues[b] || de.superior[p] == EnlaceVacio)
            continue;
        Buscador& a = Buscadores[despues[b]];
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

static void Reparte(double aparte, int proximos, const uint8_t* antes, uint8_t* despues)
{
    uint64_t costo[NumArboles] = {};
    uint64_t total = 0;
    double segundos = 0;
    for (int h = 0; h < Activos; ++h) {
        Buscador& buscador = Buscadores[Participantes[h]];
        for (int b = 0; b < NumArboles; ++b) {
            costo[b] += buscador.trabajo[b];
            total += buscador.trabajo[b];
            buscador.trabajo[b] = 0;
        }
        segundos += buscador.segundos;
    }
    if (proximos == 1) {
        memset(despues, 0, NumArboles);
        return;
    }
    memcpy(despues, antes, NumArboles);
    if (total == 0)
        return;

    const double nodosAparte = segundos > 0 ? aparte * static_cast<double>(total) / segundos : 0;
    if (Activos > 1) {
        const double coder = Buscadores[0].segundos + aparte;
        const double otros = (segundos - Buscadores[0].segundos) / (Activos - 1);
        if (coder + otros > 0)
            Sesgo += 0.25 * (coder - otros) / (coder + otros);
        Sesgo = std::clamp(Sesgo, -0.5, 0.5);
    }
    const double ventaja = nodosAparte + Sesgo * static_cast<double>(total);
    double falta[MaxHilos];
    const double parte = (static_cast<double>(total) + ventaja) / proximos;
    std::fill(falta, falta + proximos, parte);
    falta[0] -= ventaja;

    uint8_t orden[NumArboles];
    int cuantos = 0;
    for (int b = 0; b < NumArboles; ++b)
        if (costo[b] != 0)
            orden[cuantos++] = static_cast<uint8_t>(b);
    // Heaviest first, the lower tree first among equals.
    std::sort(orden, orden + cuantos,
              [&costo](uint8_t a, uint8_t b) { return costo[a] != costo[b] ? costo[a] > costo[b] : a < b; });
    for (int i = 0; i < cuantos; ++i) {
        // A tree heavier than an even share (a binary's zeros) goes to a
        // worker and stays there: given to the coder, which also codes, it
        // would make the coder the slowest, and the correction would then
        // swing it back and forth each round.
        int mejor = static_cast<double>(costo[orden[i]]) > parte ? 1 : 0;
        for (int h = mejor + 1; h < proximos; ++h)
            if (falta[h] > falta[mejor])
                mejor = h;
        despues[orden[i]] = static_cast<uint8_t>(Participantes[mejor]);
        falta[mejor] -= static_cast<double>(costo[orden[i]]);
    }
}

// ---- The coder -----------------------------------------------------------------

static void LlenaAnillo(uint64_t cuantos)
{
    while (!AnilloCompleto && Leidos < cuantos) {
        if (LeeOctetoPlano(&Anillo[Leidos & MascaraAnillo]))
            ++Leidos;
        else
            AnilloCompleto = true;
    }
}

// Codes the steps that start in block j, from step t on; returns where the
// next step starts.  The byte at the step is input byte t, except in an
// empty member, whose one step codes the byte left in the window.
static uint64_t CodificaRonda(uint64_t j, uint64_t t)
{
    const uint8_t* const dueno = Dueno[j & 1];
    const uint64_t fin = (j + 1) * TamRonda;
    while (t < fin && (t < Leidos || (t == 0 && Leidos == 0))) {
        const uint8_t primero = t < Leidos ? Anillo[t & MascaraAnillo] : Texto[InicioEscritura];
        const uint32_t registro = Buscadores[dueno[primero]].registros[j & 1][t % TamRonda];
        t += static_cast<unsigned>(CodificaPaso(registro & 0xFFFF, registro >> 16, primero,
                                                AnilloCompleto ? Leidos - t : Anticipo));
    }
    return t;
}

// Gives out round j; returns whether it is the member's last, which the ring
// already shows: the input's end, if it lies within the round, is in it.
static bool DaRonda(uint64_t j)
{
    PrimeraDeslizada = j * TamRonda;
    UltimaDeslizada = (j + 1) * TamRonda - 1;
    const uint64_t ultima = Leidos == 0 ? 1 : Leidos;   // the member's last slide
    if (AnilloCompleto)
        UltimaDeslizada = std::min(UltimaDeslizada, ultima);
    LeidosRonda = Leidos;
    for (int h = 1; h < Activos; ++h)
        Encarga(Participantes[h], ReproduceRonda);
    return AnilloCompleto && UltimaDeslizada == ultima;
}

// Workers free of other tasks join the rounds.  Returns how many take part.
static int Incorporados(int trabajadores)
{
    int activos = Activos;
    for (int w = 1; w <= trabajadores; ++w) {
        if (std::find(Participantes + 1, Participantes + Activos, w) == Participantes + Activos && Termino(w)) {
            Encarga(w, Incorpora);
            Participantes[activos++] = w;
        }
    }
    for (int h = Activos; h < activos; ++h)
        EsperaTrabajador(Participantes[h]);
    return activos;
}

// How many threads take part in the next round: those taking part and any
// worker now free while the split pays, the coder alone for a while when it
// did not.  It did not pay when the coder waited longer than the others
// worked (a worker was descheduled), or when the round took longer than its
// whole work, the coder's and the others', would take one thread (the cores
// are busy with something else).
static int Proximos(double espera, double duracion, double propio, int trabajadores)
{
    static int castigo = 1, solo = 0;
    if (Activos > 1) {
        double ajeno = 0;
        for (int h = 1; h < Activos; ++h)
            ajeno += Buscadores[Participantes[h]].segundos;
        if (espera > ajeno || duracion > propio + ajeno) {
            solo = castigo;
            castigo = castigo < MaxCastigo ? 2 * castigo : MaxCastigo;
            return 1;
        }
        castigo = 1;
    } else if (solo > 0 && --solo > 0) {
        return 1;
    }
    return Incorporados(trabajadores);
}

int DedezodiLZHHilos()
{
    const int trabajadores = ArrancaEquipo(NumHilos);
    Apunta(0);
    Leidos = static_cast<uint64_t>(EmpiezaVentana(Texto));
    AnilloCompleto = Leidos < Anticipo;
    memcpy(Anillo, &Texto[InicioEscritura], Leidos);
    LlenaAnillo(TamRonda + Anticipo - 1);
    Activos = 1;
    Activos = Incorporados(trabajadores);
    for (int b = 0; b < NumArboles; ++b)
        Dueno[0][b] = Dueno[1][b] = static_cast<uint8_t>(Participantes[b % Activos]);

    uint64_t t = 0;
    for (uint64_t j = 0;; ++j) {
        const double comienzo = Reloj(CLOCK_MONOTONIC);
        const bool ultima = DaRonda(j);
        const double inicio = Reloj(CLOCK_THREAD_CPUTIME_ID);
        LlenaAnillo((j + 2) * TamRonda + Anticipo - 1);
        ReproduceRonda(0);
        if (j > 0)
            t = CodificaRonda(j - 1, t);
        const double propio = Reloj(CLOCK_THREAD_CPUTIME_ID) - inicio;   // reading, replay, coding
        const double espera = Reloj(CLOCK_MONOTONIC);
        for (int h = 1; h < Activos; ++h)
            EsperaTrabajador(Participantes[h]);
        const double fin = Reloj(CLOCK_MONOTONIC);
        if (ultima) {
            t = CodificaRonda(j, t);
            break;
        }
        const int proximos = Proximos(fin - espera, fin - comienzo, propio, trabajadores);
        // Reparte reads the round's threads (Activos) and shares among the
        // next round's (Participantes, proximos of them).
        Reparte(propio - Buscadores[0].segundos, proximos, Dueno[j & 1], Dueno[(j + 1) & 1]);
        MueveArboles(Dueno[j & 1], Dueno[(j + 1) & 1]);
        Activos = proximos;
    }

    CodificaFinal();
    return OctetosComprimidos < OctetosLeidos;
}

}  // namespace dedezodi
