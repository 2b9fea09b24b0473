// Tests of the adaptive Huffman model.  Every long run checks the whole tree
// after every single update, so a fault shows at the symbol that caused it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "common.h"
#include "secuencia_profunda.h"

namespace {

// The length of simbolo's code: edges from its leaf up to the root.
int Profundidad(int simbolo)
{
    int d = 0;
    for (int n = Padre[simbolo + MarcaHoja]; n != Raiz; n = Padre[n]) {
        ++d;
    }
    return d;
}

// The tree's invariants: counts sorted under the sentinel, sums, bounds, and
// Hijo and Padre agreeing in both directions with every node reachable once.
::testing::AssertionResult CumpleInvariantes()
{
    if (Frecuencia[NumNodos] != Centinela || Padre[Raiz] != 0) {
        return ::testing::AssertionFailure() << "sentinel or root marker changed";
    }
    uint32_t sumaHojas = 0;
    for (int n = 0; n < NumNodos; ++n) {
        const unsigned f = Frecuencia[n];
        if (f > Frecuencia[n + 1]) {
            return ::testing::AssertionFailure() << "count of node " << n << " above the next";
        }
        if (f == 0 || f > FrecuenciaMaxima || (n != Raiz && f >= FrecuenciaMaxima)) {
            return ::testing::AssertionFailure() << "node " << n << " has count " << f;
        }
        const int h = Hijo[n];
        if (h >= MarcaHoja) {
            if (h >= MarcaHoja + NumSimbolos || Padre[h] != n) {
                return ::testing::AssertionFailure() << "leaf " << n << " and symbol map disagree";
            }
            sumaHojas += f;
        } else {
            if (h < 0 || h % 2 != 0 || h + 1 >= n || Padre[h] != n || Padre[h + 1] != n) {
                return ::testing::AssertionFailure() << "children of node " << n << " are wrong";
            }
            if (f != Frecuencia[h] + Frecuencia[h + 1]) {
                return ::testing::AssertionFailure() << "node " << n << " is not its children's sum";
            }
        }
        if (n != Raiz && (Padre[n] <= n || Padre[n] > Raiz || Hijo[Padre[n]] != (n & ~1))) {
            return ::testing::AssertionFailure() << "parent link of node " << n << " is wrong";
        }
    }
    if (sumaHojas != Frecuencia[Raiz]) {
        return ::testing::AssertionFailure() << "root is not the sum of the leaves";
    }
    // Every symbol on exactly one leaf, every node reached once from the root.
    int pendientes[NumNodos];
    bool visto[NumNodos] = {};
    int cima = 0;
    int alcanzados = 0;
    pendientes[cima++] = Raiz;
    while (cima > 0) {
        const int n = pendientes[--cima];
        if (visto[n]) {
            return ::testing::AssertionFailure() << "node " << n << " reached twice";
        }
        visto[n] = true;
        ++alcanzados;
        if (Hijo[n] < MarcaHoja) {
            if (cima + 2 > NumNodos) {
                return ::testing::AssertionFailure() << "more nodes below the root than exist";
            }
            pendientes[cima++] = Hijo[n];
            pendientes[cima++] = Hijo[n] + 1;
        }
    }
    if (alcanzados != NumNodos) {
        return ::testing::AssertionFailure() << "only " << alcanzados << " nodes reachable";
    }
    for (int s = 0; s < NumSimbolos; ++s) {
        const int hoja = Padre[s + MarcaHoja];
        if (hoja < 0 || hoja >= NumNodos || Hijo[hoja] != s + MarcaHoja) {
            return ::testing::AssertionFailure() << "symbol " << s << " maps to the wrong leaf";
        }
    }
    return ::testing::AssertionSuccess();
}

// What a rebuild leaves: within each run of equal counts the leaves come
// first, then the internal nodes in the order they were built (rising Hijo).
::testing::AssertionResult CumpleOrdenReconstruido()
{
    for (int n = 1; n < NumNodos; ++n) {
        if (Frecuencia[n] != Frecuencia[n - 1] || Hijo[n - 1] >= MarcaHoja) {
            continue;
        }
        if (Hijo[n] >= MarcaHoja || Hijo[n] < Hijo[n - 1]) {
            return ::testing::AssertionFailure()
                   << "node " << n << " should come before node " << n - 1;
        }
    }
    return ::testing::AssertionSuccess();
}

// The root a rebuild leads to, before the update adds one.
uint32_t SumaHojasReducidas()
{
    uint32_t suma = 0;
    for (int n = 0; n < NumNodos; ++n) {
        if (Hijo[n] >= MarcaHoja) {
            suma += (Frecuencia[n] + 1u) / 2u;
        }
    }
    return suma;
}

// One update checked against everything it must do: the root and the
// symbol's leaf grow by exactly one (after halving when the root stood at the
// threshold), and the whole tree stays valid.
::testing::AssertionResult ActualizaComprobando(int simbolo, bool* reconstruyo = nullptr)
{
    const bool tocaReconstruir = Frecuencia[Raiz] == FrecuenciaMaxima;
    const unsigned hoja = Frecuencia[Padre[simbolo + MarcaHoja]];
    const uint32_t raizEsperada =
        (tocaReconstruir ? SumaHojasReducidas() : Frecuencia[Raiz]) + 1u;
    const unsigned hojaEsperada = (tocaReconstruir ? (hoja + 1u) / 2u : hoja) + 1u;

    Actualiza(simbolo);

    if (reconstruyo != nullptr) {
        *reconstruyo = tocaReconstruir;
    }
    if (Frecuencia[Raiz] != raizEsperada) {
        return ::testing::AssertionFailure() << "root " << Frecuencia[Raiz] << ", expected "
                                             << raizEsperada << " after symbol " << simbolo;
    }
    if (Frecuencia[Padre[simbolo + MarcaHoja]] != hojaEsperada) {
        return ::testing::AssertionFailure() << "leaf of symbol " << simbolo << " did not grow by one";
    }
    return CumpleInvariantes() << " (after symbol " << simbolo << ")";
}

// Feeds `cuantos` symbols from `siguiente`, checking each update; returns the
// number of rebuilds seen.
template <typename Generador>
int RecorreComprobando(int cuantos, Generador siguiente)
{
    int reconstrucciones = 0;
    for (int u = 0; u < cuantos; ++u) {
        bool reconstruyo = false;
        const int simbolo = siguiente();
        EXPECT_TRUE(ActualizaComprobando(simbolo, &reconstruyo)) << "update " << u + 1;
        if (::testing::Test::HasFailure()) {
            break;
        }
        reconstrucciones += reconstruyo ? 1 : 0;
    }
    return reconstrucciones;
}

// Enough updates for several rebuilds of a fresh model.
constexpr int UpdatesLargos = 4 * FrecuenciaMaxima;

// ---- Starting state: catches a wrong pairing, sentinel ----------------------

TEST(IniciaHuffman, EstadoInicialValido)
{
    IniciaHuffman();
    EXPECT_TRUE(CumpleInvariantes());
    EXPECT_EQ(Frecuencia[Raiz], NumSimbolos);
    EXPECT_EQ(Frecuencia[NumNodos], Centinela);
    EXPECT_EQ(Padre[Raiz], 0);
    for (int s = 0; s < NumSimbolos; ++s) {
        EXPECT_EQ(Padre[s + MarcaHoja], s) << "leaf s holds symbol s";
    }
}

TEST(IniciaHuffman, LongitudesDeCodigo)
{
    IniciaHuffman();
    // 314 leaves: a full level of 256 at depth 8, with the 58 extra leaves
    // each splitting one of them, so the first 2 * 58 symbols go one deeper.
    constexpr int Nivel = 256;
    constexpr int Profundos = 2 * (NumSimbolos - Nivel);
    for (int s = 0; s < NumSimbolos; ++s) {
        EXPECT_EQ(Profundidad(s), s < Profundos ? 9 : 8) << "symbol " << s;
    }
    EXPECT_EQ(Profundos, 116);
}

TEST(IniciaHuffman, BorraTodoLoAnterior)
{
    IniciaHuffman();
    std::vector<uint16_t> frecuencia(Frecuencia, Frecuencia + NumNodos + 1);
    std::vector<int16_t> hijo(Hijo, Hijo + NumNodos);
    std::vector<int16_t> padre(Padre, Padre + NumNodos + NumSimbolos);
    std::mt19937 azar(7);
    for (int u = 0; u < 3 * FrecuenciaMaxima / 2; ++u) {
        Actualiza(static_cast<int>(azar() % 20));
    }
    IniciaHuffman();
    EXPECT_TRUE(std::equal(frecuencia.begin(), frecuencia.end(), Frecuencia));
    EXPECT_TRUE(std::equal(hijo.begin(), hijo.end(), Hijo));
    EXPECT_TRUE(std::equal(padre.begin(), padre.end(), Padre));
}

// ---- First update: catches swapping with the wrong node of a run ----------

TEST(Actualiza, PrimerSimboloSubeAlFinalDeLaRacha)
{
    IniciaHuffman();
    const int profundidadAntes = Profundidad(0);
    ASSERT_TRUE(ActualizaComprobando(0));
    // Leaf 0 reaches count 2 above nodes 1..313 (count 1), so it trades
    // places with the last of them: the highest-numbered leaf.
    const int ultimaHoja = NumSimbolos - 1;
    EXPECT_EQ(Padre[0 + MarcaHoja], ultimaHoja);
    EXPECT_EQ(Frecuencia[ultimaHoja], 2);
    EXPECT_EQ(Hijo[0], ultimaHoja + MarcaHoja) << "the displaced symbol takes node 0";
    EXPECT_EQ(Padre[ultimaHoja + MarcaHoja], 0);
    EXPECT_EQ(Profundidad(0), 8);
    EXPECT_LT(Profundidad(0), profundidadAntes);
    EXPECT_EQ(Frecuencia[Raiz], NumSimbolos + 1);
}

// ---- Long runs: catch any broken link, sum or order in the update ---------

TEST(Actualiza, AzarUniforme)
{
    IniciaHuffman();
    std::mt19937 azar(12345);
    const int r = RecorreComprobando(UpdatesLargos, [&] {
        return static_cast<int>(azar() % NumSimbolos);
    });
    EXPECT_GE(r, 5);
}

TEST(Actualiza, AzarMuySesgado)
{
    IniciaHuffman();
    std::mt19937 azar(2024);
    // Symbol k with probability about 2^-(k+1): a handful dominate, the rest
    // appear rarely, which makes deep leaves and long runs of equal counts.
    const int r = RecorreComprobando(UpdatesLargos, [&] {
        const uint32_t x = azar();
        int k = 0;
        while (k < 32 && (x >> k & 1u) == 0) {
            ++k;
        }
        return k < 32 ? k : static_cast<int>(azar() % NumSimbolos);
    });
    EXPECT_GE(r, 5);
}

TEST(Actualiza, RachasDeUnSimbolo)
{
    IniciaHuffman();
    std::mt19937 azar(99);
    int simbolo = 0;
    int queda = 0;
    // Runs from 1 to 20000 long, so one leaf climbs through a whole rebuild.
    const int r = RecorreComprobando(UpdatesLargos, [&] {
        if (queda == 0) {
            simbolo = static_cast<int>(azar() % NumSimbolos);
            queda = 1 + static_cast<int>(azar() % 20000);
        }
        --queda;
        return simbolo;
    });
    EXPECT_GE(r, 5);
}

// ---- Rebuild trigger: catches >= instead of ==, or halving after counting -

TEST(Reconstruye, PrimeraEnLaActualizacion32455)
{
    IniciaHuffman();
    std::mt19937 azar(5);
    const int hastaUmbral = FrecuenciaMaxima - NumSimbolos;
    EXPECT_EQ(RecorreComprobando(hastaUmbral, [&] {
        return static_cast<int>(azar() % 40);
    }), 0);
    ASSERT_EQ(Frecuencia[Raiz], FrecuenciaMaxima) << "root reaches the threshold unrebuilt";

    const uint32_t cota = (FrecuenciaMaxima + NumSimbolos) / 2 + 1;
    bool reconstruyo = false;
    ASSERT_TRUE(ActualizaComprobando(3, &reconstruyo));
    EXPECT_TRUE(reconstruyo);
    EXPECT_EQ(hastaUmbral + 1, 32455);
    EXPECT_LE(Frecuencia[Raiz], cota);
}

// ---- Rebuilt order: catches a new node put before equal counts -------------

TEST(Reconstruye, NodoNuevoTrasLosDeIgualCuenta)
{
    // Leaf counts that halve to 1 1 2 2 3 3 ...: the first sum, 2, equals the
    // counts of leaves 2 and 3 and must land after them, at node 4.
    IniciaHuffman();
    Frecuencia[0] = Frecuencia[1] = 1;
    Frecuencia[2] = Frecuencia[3] = 4;
    for (int n = 4; n < NumSimbolos; ++n) {
        Frecuencia[n] = 6;
    }
    Reconstruye();
    EXPECT_TRUE(CumpleInvariantes());
    EXPECT_TRUE(CumpleOrdenReconstruido());
    EXPECT_EQ(Hijo[2], 2 + MarcaHoja);
    EXPECT_EQ(Hijo[3], 3 + MarcaHoja);
    EXPECT_EQ(Hijo[4], 0) << "the node joining leaves 0 and 1";
    EXPECT_EQ(Frecuencia[4], 2);
    EXPECT_EQ(Hijo[5], 4 + MarcaHoja) << "count-3 leaves shifted up by one";
}

TEST(Reconstruye, OrdenTrasCadaReconstruccion)
{
    // Runs the rebuild itself whenever the root reaches the threshold, as
    // Actualiza would first do, so its layout can be seen before the update.
    IniciaHuffman();
    std::mt19937 azar(31337);
    int reconstrucciones = 0;
    for (int u = 0; u < UpdatesLargos; ++u) {
        if (Frecuencia[Raiz] == FrecuenciaMaxima) {
            const uint32_t raizEsperada = SumaHojasReducidas();
            Reconstruye();
            ++reconstrucciones;
            ASSERT_EQ(Frecuencia[Raiz], raizEsperada);
            ASSERT_TRUE(CumpleInvariantes());
            ASSERT_TRUE(CumpleOrdenReconstruido());
        }
        ASSERT_TRUE(ActualizaComprobando(static_cast<int>(azar() % 64))) << "update " << u + 1;
    }
    EXPECT_GE(reconstrucciones, 5);
}

// ---- Halving: catches rounding down, which would leave a count of 0 -------

TEST(Reconstruye, HojaDeCuentaUnoSigueEnUno)
{
    IniciaHuffman();
    std::mt19937 azar(77);
    constexpr int Nunca = NumSimbolos - 1;   // never sent: count stays 1
    const int r = RecorreComprobando(UpdatesLargos, [&] {
        const int s = static_cast<int>(azar() % (NumSimbolos - 1));
        EXPECT_EQ(Frecuencia[Padre[Nunca + MarcaHoja]], 1);
        return s;
    });
    EXPECT_GE(r, 5);
    EXPECT_EQ(Frecuencia[Padre[Nunca + MarcaHoja]], 1);
}

// ---- Deep codes: catches a model (or a fixture) that cannot go past 16 ----

TEST(SecuenciaProfunda, LlevaUnaHojaMasAllaDe16)
{
    const std::vector<int> secuencia = GeneraSecuenciaProfunda();
    ASSERT_FALSE(secuencia.empty());
    ASSERT_LT(secuencia.size(), static_cast<size_t>(FrecuenciaMaxima - NumSimbolos));
    ASSERT_EQ(secuencia.back(), SimboloProfundo);
    IniciaHuffman();
    for (size_t u = 0; u + 1 < secuencia.size(); ++u) {
        ASSERT_GE(secuencia[u], 0);
        ASSERT_LT(secuencia[u], NumSimbolos);
        ASSERT_TRUE(ActualizaComprobando(secuencia[u])) << "update " << u + 1;
    }
    const int profundidad = Profundidad(secuencia.back());
    EXPECT_GT(profundidad, 16);
    EXPECT_EQ(profundidad, ProfundidadAlcanzada);
    ASSERT_TRUE(ActualizaComprobando(secuencia.back()));
}

// ---- Faster update paths: catch a run end found wrong (at the sentinel, in
// a long run, in a word's last lane) and a decoder walk whose top-down
// counting differs from the update it replaces --------------------------------

// The model's three tables, to run several updates from one state.
struct Estado {
    uint16_t f[NumNodos + 1];
    int16_t h[NumNodos], p[NumNodos + NumSimbolos];
    void Guarda() { std::memcpy(f, Frecuencia, sizeof f), std::memcpy(h, Hijo, sizeof h), std::memcpy(p, Padre, sizeof p); }
    void Repone() const { std::memcpy(Frecuencia, f, sizeof f), std::memcpy(Hijo, h, sizeof h), std::memcpy(Padre, p, sizeof p); }
    bool operator==(const Estado& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

// The update stepped one node at a time; notes the longest run it crossed
// and the highest node a run ended at.
void ActualizaPasoAPaso(int simbolo, int& rachaMasLarga, int& finMasAlto)
{
    if (Frecuencia[Raiz] == FrecuenciaMaxima) {
        Reconstruye();
    }
    int n = Padre[simbolo + MarcaHoja];   // may be node 0, a leaf
    do {
        const uint16_t k = ++Frecuencia[n];
        if (Frecuencia[n + 1] >= k) {
            n = Padre[n];
            continue;
        }
        int l = n + 1;
        while (Frecuencia[l + 1] < k) {
            ++l;
        }
        rachaMasLarga = std::max(rachaMasLarga, l - n);
        finMasAlto = std::max(finMasAlto, l);
        Frecuencia[n] = static_cast<uint16_t>(k - 1);
        Frecuencia[l] = k;
        std::swap(Hijo[n], Hijo[l]);
        for (int m : {n, l}) {   // the children follow their subtrees
            Padre[Hijo[m]] = static_cast<int16_t>(m);
            if (Hijo[m] < MarcaHoja) {
                Padre[Hijo[m] + 1] = static_cast<int16_t>(m);
            }
        }
        n = Padre[l];
    } while (n != 0);
}

// The decoder's update: count on the way down the symbol's path, then finish.
void ActualizaBajando(int simbolo)
{
    if (Frecuencia[Raiz] == FrecuenciaMaxima) {
        Actualiza(simbolo);
        return;
    }
    std::vector<int> subida;
    int n = Padre[simbolo + MarcaHoja];
    do {
        subida.push_back(n);
        n = Padre[n];
    } while (n != 0);
    int16_t camino[NumSimbolos];
    int largo = 0, igual = -1;
    for (auto nodo = subida.rbegin(); nodo != subida.rend(); ++nodo) {
        CuentaNodo(camino, largo, igual, *nodo);
    }
    if (igual >= 0)
        SigueDesdeRacha(camino, igual);
}

TEST(ActualizaRapida, IgualQuePasoAPasoConReconstrucciones)
{
    IniciaHuffman();
    std::mt19937 azar(777);
    int rachaMasLarga = 0, finMasAlto = 0, reconstrucciones = 0;
    int modo = 0, simbolo = 0, queda = 0;
    for (int u = 0; u < 5 * FrecuenciaMaxima; ++u) {
        // Stretches of one symbol, of a few, and of leaves reached by random
        // bits from the root: those keep the two halves of every subtree
        // even, so runs of equal counts form right below the root too.
        if (queda == 0) {
            queda = 1 + static_cast<int>(azar() % 3000);
            modo = static_cast<int>(azar() % 3);
            simbolo = static_cast<int>(azar() % NumSimbolos);
        }
        --queda;
        uint32_t x = azar();
        int s = modo == 0 ? (x % 2 == 0 ? simbolo : static_cast<int>(x >> 8) % NumSimbolos)
                          : static_cast<int>(x >> 8) % 4;
        if (modo == 2) {
            int nodo = Hijo[Raiz];
            for (; nodo < MarcaHoja; x >>= 1) {
                nodo = Hijo[nodo + static_cast<int>(x & 1)];
                x = x > 1 ? x : azar() | 0x80000000u;
            }
            s = nodo - MarcaHoja;
        }
        if (u < 3000) {
            s = 7;   // from the fresh tree its leaf climbs past the root's children
        }
        reconstrucciones += Frecuencia[Raiz] == FrecuenciaMaxima ? 1 : 0;
        Estado antes, esperado, obtenido;
        antes.Guarda();
        ActualizaPasoAPaso(s, rachaMasLarga, finMasAlto);
        esperado.Guarda();
        antes.Repone();
        Actualiza(s);
        obtenido.Guarda();
        ASSERT_TRUE(obtenido == esperado) << "Actualiza, update " << u + 1 << ", symbol " << s;
        antes.Repone();
        ActualizaBajando(s);
        obtenido.Guarda();
        ASSERT_TRUE(obtenido == esperado) << "walk down, update " << u + 1 << ", symbol " << s;
    }
    // The sequence did reach what it is meant to test.
    EXPECT_GE(reconstrucciones, 4);
    EXPECT_GE(rachaMasLarga, 100);
    EXPECT_EQ(finMasAlto, NumNodos - 2);   // a run ending right below the root, by the sentinel
}

}  // namespace
