// Tests of the match finder: the trees stay well-formed search trees holding
// exactly the positions they should, and every insertion reports the match
// that a brute-force search over those positions and the walk's own path
// say it must.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "arbol.h"
#include "dedezodi.h"

using namespace dedezodi;

namespace {

using Conjunto = std::array<bool, TamVentana>;   // which positions should be in a tree

int ComparaCadenas(int a, int b) { return std::memcmp(&Texto[a], &Texto[b], Anticipo); }

int PrefijoComun(int a, int b)
{
    int n = 0;
    while (n < Anticipo && Texto[a + n] == Texto[b + n])
        ++n;
    return n;
}

int Distancia(int r, int p) { return ((r - p) & MascaraVentana) - 1; }

// The reusable checker: every tree is a binary search tree in increasing
// string order, holds only positions with its first byte, has parent links
// that match its child links, and the trees together hold exactly `debe`.
testing::AssertionResult ArbolesCorrectos(const Conjunto& debe)
{
    Conjunto visto{};
    std::vector<int> pila;
    for (int b = 0; b < NumArboles; ++b) {
        const int raiz = PrimeraRaiz + b;
        int x = Derecho[raiz];
        if (x != EnlaceVacio && (x < 0 || x >= TamVentana || Superior[x] != raiz))
            return testing::AssertionFailure() << "bad top of tree " << b << ": " << x;
        int anterior = -1;
        while (x != EnlaceVacio || !pila.empty()) {
            for (; x != EnlaceVacio; x = Izquierdo[x]) {
                if (visto[x])
                    return testing::AssertionFailure() << "position " << x << " reached twice";
                visto[x] = true;
                if (Texto[x] != b)
                    return testing::AssertionFailure() << x << " in the wrong tree " << b;
                for (int hijo : {int(Izquierdo[x]), int(Derecho[x])}) {
                    if (hijo == EnlaceVacio)
                        continue;
                    if (hijo < 0 || hijo >= TamVentana || Superior[hijo] != x)
                        return testing::AssertionFailure() << "child " << hijo << " of " << x
                                                           << " does not point back";
                }
                pila.push_back(x);
            }
            x = pila.back();
            pila.pop_back();
            if (anterior >= 0 && ComparaCadenas(anterior, x) >= 0)
                return testing::AssertionFailure() << "in-order " << anterior << " before " << x
                                                   << " is not increasing";
            anterior = x;
            x = Derecho[x];
        }
    }
    for (int p = 0; p < TamVentana; ++p) {
        if (visto[p] != debe[p])
            return testing::AssertionFailure() << "position " << p << (debe[p] ? " missing" : " extra");
        if (!visto[p] && Superior[p] != EnlaceVacio)
            return testing::AssertionFailure() << "position " << p << " out of the trees keeps a parent";
    }
    return testing::AssertionSuccess();
}

// Inserts r and checks the reported match against references derived before
// the call: the brute-force longest prefix over `en`, and the nearest
// position of that length on the search path.  Updates `en` as a tree must:
// r enters, an older position with the same 60 bytes leaves.
testing::AssertionResult InsertaYComprueba(Conjunto& en, int r)
{
    if (en[r] || Superior[r] != EnlaceVacio)
        return testing::AssertionFailure() << "position " << r << " inserted while in a tree";
    int mejorGlobal = 0, gemelo = -1;
    for (int p = 0; p < TamVentana; ++p) {
        if (!en[p] || Texto[p] != Texto[r])
            continue;
        const int n = PrefijoComun(r, p);
        mejorGlobal = std::max(mejorGlobal, n);
        if (n == Anticipo)
            gemelo = p;
    }
    const int largoEsperado = mejorGlobal > Umbral ? mejorGlobal : 0;

    std::vector<int> camino;
    for (int x = Derecho[PrimeraRaiz + Texto[r]]; x != EnlaceVacio;) {
        if (camino.size() >= size_t(TamVentana))
            return testing::AssertionFailure() << "search path of " << r << " does not end";
        camino.push_back(x);
        if (PrefijoComun(r, x) == Anticipo)
            break;
        x = ComparaCadenas(r, x) < 0 ? Izquierdo[x] : Derecho[x];
    }
    int posEsperada = PosIgual;
    if (largoEsperado > 0) {
        posEsperada = TamVentana;
        for (int x : camino)
            if (PrefijoComun(r, x) == largoEsperado)
                posEsperada = std::min(posEsperada, Distancia(r, x));
        if (posEsperada == TamVentana)
            return testing::AssertionFailure() << "best prefix of " << r << " is off its search path";
    }

    InsertaNodo(r);
    en[r] = true;
    if (gemelo >= 0)
        en[gemelo] = false;

    if (LongIgual != largoEsperado)
        return testing::AssertionFailure() << "InsertaNodo(" << r << "): LongIgual " << LongIgual
                                           << ", longest prefix is " << largoEsperado;
    if (PosIgual != posEsperada)
        return testing::AssertionFailure() << "InsertaNodo(" << r << "): PosIgual " << PosIgual
                                           << ", expected " << posEsperada;
    if (largoEsperado > 0) {
        const int p = (r - PosIgual - 1) & MascaraVentana;
        if (PrefijoComun(r, p) < LongIgual)
            return testing::AssertionFailure() << "PosIgual names " << p << ", which does not match";
    }
    if (gemelo >= 0 && Superior[gemelo] != EnlaceVacio)
        return testing::AssertionFailure() << "replaced position " << gemelo << " still hangs";
    return testing::AssertionSuccess();
}

// The encoder's calling sequence over `datos` as one member, through the
// encoder's own window start and slide, each insertion checked: the 60
// positions before 4036 and then 4036; for each new byte the oldest position
// removed, the byte written, and the next position inserted; after the
// input, removals and insertions until the lookahead is used up.  The trees
// are checked every `cada` steps and at the end.
void RecorreMiembro(const std::vector<uint8_t>& datos, int cada = 7)
{
    Conjunto en{};
    IniciaArbol();
    EntradaMiembro = tmpfile();
    if (!datos.empty())
        fwrite(datos.data(), 1, datos.size(), EntradaMiembro);
    EmpiezaPasada();
    uint64_t leidos = uint64_t(EmpiezaVentana(Texto));
    for (int i = 1; i <= Anticipo; ++i)
        ASSERT_TRUE(InsertaYComprueba(en, InicioEscritura - i));
    ASSERT_TRUE(InsertaYComprueba(en, InicioEscritura));

    uint64_t t = 1;
    for (uint8_t octeto; LeeOctetoPlano(&octeto); ++t, ++leidos) {
        const int s = int((t - 1) & MascaraVentana), r = int((InicioEscritura + t) & MascaraVentana);
        Desliza(t, &octeto, false);
        en[s] = false;
        ASSERT_TRUE(InsertaYComprueba(en, r));
        if (LongIgual > 0) {   // positions leave before they get this far away
            ASSERT_LE(PosIgual, InicioEscritura - 1);
        }
        if (t % cada == 0) {
            ASSERT_TRUE(ArbolesCorrectos(en)) << "after byte " << leidos;
        }
    }
    CierraEntrada();
    for (; t <= std::max<uint64_t>(leidos, 1); ++t) {
        Desliza(t, nullptr, false);
        en[(t - 1) & MascaraVentana] = false;
        if (InsertaEnDeslizada(t, leidos)) {
            ASSERT_TRUE(InsertaYComprueba(en, int((InicioEscritura + t) & MascaraVentana)));
        }
    }
    ASSERT_TRUE(ArbolesCorrectos(en));
}

std::vector<uint8_t> Aleatorios(unsigned semilla, size_t n, int alfabeto, uint8_t base)
{
    std::mt19937 g(semilla);
    std::vector<uint8_t> v(n);
    for (auto& c : v)
        c = uint8_t(base + g() % unsigned(alfabeto));
    return v;
}

// Words from a small vocabulary, runs of one byte and periodic stretches:
// long shared prefixes, many equal 60-byte strings, many ties.
std::vector<uint8_t> Repetitivos(unsigned semilla, size_t n)
{
    static const char* const palabras[] = {"the ", "then ", "there ", "other ", "\r\n", "abracadabra "};
    std::mt19937 g(semilla);
    std::vector<uint8_t> v;
    while (v.size() < n) {
        switch (g() % 4) {
        case 0: {
            const size_t largo = g() % 200;
            v.insert(v.end(), largo, uint8_t(g() % 3 ? ' ' : 'x'));
            break;
        }
        case 1: {
            const int periodo = int(g() % 7) + 1;
            for (int m = int(g() % 150); m > 0; --m)
                v.push_back(uint8_t('a' + m % periodo));
            break;
        }
        default: for (const char* c = palabras[g() % 6]; *c; ++c) v.push_back(uint8_t(*c));
        }
    }
    v.resize(n);
    return v;
}

// Faults caught: wrong walk, lost or duplicated nodes, bad parent links,
// wrong lengths or tie-breaks, positions kept past their removal, the
// mirror or the wrap of the ring mishandled.
TEST(Arbol, EncoderSequenceRandomBytes) { RecorreMiembro(Aleatorios(1, 9000, 256, 0)); }
TEST(Arbol, EncoderSequenceTwoLetters) { RecorreMiembro(Aleatorios(2, 9000, 2, 'a')); }
TEST(Arbol, EncoderSequenceRepetitiveText) { RecorreMiembro(Repetitivos(3, 9000)); }
TEST(Arbol, EncoderSequenceAllSpaces) { RecorreMiembro(std::vector<uint8_t>(5000, ' ')); }
TEST(Arbol, EncoderSequenceShortAndEmptyInputs)
{
    std::memset(&Texto[InicioEscritura], 0xA5, sizeof Texto - InicioEscritura);   // a previous member's leftovers
    RecorreMiembro(Repetitivos(4, 10));
    RecorreMiembro({});
    RecorreMiembro(Aleatorios(5, 100, 3, 'x'));
}

// ---- Hand-built trees ------------------------------------------------------

// Writes a 60-byte string at pos: `inicio`, then `relleno` to the end.
void PonCadena(int pos, const std::string& inicio, uint8_t relleno = '.')
{
    for (int i = 0; i < Anticipo; ++i)
        Texto[pos + i] = i < int(inicio.size()) ? uint8_t(inicio[i]) : relleno;
}

// Position of the node keyed "kxy<letter>": 64 apart, so strings never overlap.
int Pos(char letra) { return 100 + 64 * (letra - 'A'); }

// Builds tree 'k' by inserting the letters in order.
void Planta(Conjunto& en, const std::string& letras)
{
    en = Conjunto{};
    IniciaArbol();
    for (char c : letras) {
        PonCadena(Pos(c), std::string("kxy") + c);
        ASSERT_TRUE(InsertaYComprueba(en, Pos(c)));
    }
    ASSERT_TRUE(ArbolesCorrectos(en));
}

struct Enlaces {
    std::vector<int16_t> sup, izq, der;
};
Enlaces Copia()
{
    return {std::vector<int16_t>(Superior, Superior + TamVentana),
            std::vector<int16_t>(Izquierdo, Izquierdo + TamVentana),
            std::vector<int16_t>(Derecho, std::end(Derecho))};
}
bool operator==(const Enlaces& a, const Enlaces& b) { return a.sup == b.sup && a.izq == b.izq && a.der == b.der; }

// Catches: a new tree not hung on the root's right link, a spurious match
// reported, PosIgual overwritten without a match, another tree touched.
TEST(Arbol, FirstInsertionIntoEmptyTree)
{
    IniciaArbol();
    PonCadena(300, "hello");
    PosIgual = 1234;
    InsertaNodo(300);
    EXPECT_EQ(Derecho[PrimeraRaiz + 'h'], 300);
    EXPECT_EQ(Superior[300], PrimeraRaiz + 'h');
    EXPECT_EQ(Izquierdo[300], EnlaceVacio);
    EXPECT_EQ(Derecho[300], EnlaceVacio);
    EXPECT_EQ(LongIgual, 0);
    EXPECT_EQ(PosIgual, 1234);
    Conjunto en{};
    en[300] = true;
    EXPECT_TRUE(ArbolesCorrectos(en));
}

// Catches: the threshold off by one (prefixes of 1 or 2 reported, or 3 not).
TEST(Arbol, PrefixesShorterThanThreeAreNotMatches)
{
    Conjunto en{};
    IniciaArbol();
    PonCadena(100, "qa");
    PonCadena(200, "qbc");
    PonCadena(300, "qbd");
    ASSERT_TRUE(InsertaYComprueba(en, 100));
    ASSERT_TRUE(InsertaYComprueba(en, 200));
    PosIgual = 777;
    InsertaNodo(300);   // shares 2 bytes with 200, 1 with 100
    en[300] = true;
    EXPECT_EQ(LongIgual, 0);
    EXPECT_EQ(PosIgual, 777);
    PonCadena(400, "qbcz");
    InsertaNodo(400);
    en[400] = true;
    EXPECT_EQ(LongIgual, PrefijoComun(400, 200));
    EXPECT_EQ(LongIgual, 3);
    EXPECT_EQ(PosIgual, Distancia(400, 200));
    EXPECT_TRUE(ArbolesCorrectos(en));
}

// Catches: a duplicate string added beside the old one, the old position
// left with a parent, children or parent not moved over, and a later
// removal of the replaced position disturbing the tree.
TEST(Arbol, EqualStringReplacesOlderPosition)
{
    Conjunto en{};
    IniciaArbol();
    const int viejo = 3500;
    std::memset(&Texto[viejo], 'z', Anticipo + 1);
    ASSERT_TRUE(InsertaYComprueba(en, viejo));
    InsertaNodo(viejo + 1);   // directly after: same 60 bytes, distance 1
    EXPECT_EQ(LongIgual, Anticipo);
    EXPECT_EQ(PosIgual, 0);
    EXPECT_EQ(Superior[viejo], EnlaceVacio);
    EXPECT_EQ(Derecho[PrimeraRaiz + 'z'], viejo + 1);
    en[viejo] = false, en[viejo + 1] = true;
    EXPECT_TRUE(ArbolesCorrectos(en));

    // A node with two children, hanging left of its parent.
    Planta(en, "MFTCH");
    const int nuevo = Pos('Z') + 64;
    PonCadena(nuevo, "kxyF");
    ASSERT_TRUE(InsertaYComprueba(en, nuevo));
    EXPECT_EQ(LongIgual, Anticipo);
    EXPECT_EQ(PosIgual, Distancia(nuevo, Pos('F')));
    EXPECT_EQ(Izquierdo[Pos('M')], nuevo);
    EXPECT_EQ(Izquierdo[nuevo], Pos('C'));
    EXPECT_EQ(Derecho[nuevo], Pos('H'));
    EXPECT_TRUE(ArbolesCorrectos(en));
    const Enlaces antes = Copia();
    BorraNodo(Pos('F'));
    EXPECT_TRUE(antes == Copia());
    EXPECT_TRUE(ArbolesCorrectos(en));
}

// Catches: ties kept by walk order instead of distance.  The two candidates
// share 3 bytes with r; both meeting orders and both placements are tried.
TEST(Arbol, EqualLengthsResolveToNearest)
{
    const int r = 3000, cerca = 2900, lejos = 1000;
    for (bool cercaPrimero : {true, false}) {
        Conjunto en{};
        IniciaArbol();
        PonCadena(r, "tiem");
        PonCadena(cercaPrimero ? cerca : lejos, "tiea");   // inserted first: met first
        PonCadena(cercaPrimero ? lejos : cerca, "tiez");
        ASSERT_TRUE(InsertaYComprueba(en, cercaPrimero ? cerca : lejos));
        ASSERT_TRUE(InsertaYComprueba(en, cercaPrimero ? lejos : cerca));
        InsertaNodo(r);
        ASSERT_EQ(PrefijoComun(r, cerca), PrefijoComun(r, lejos));
        EXPECT_EQ(LongIgual, PrefijoComun(r, cerca));
        EXPECT_EQ(PosIgual, std::min(Distancia(r, cerca), Distancia(r, lejos))) << cercaPrimero;
    }
}

// Catches: the first or the nearest candidate kept over a longer one.
TEST(Arbol, LongerFartherBeatsShorterNearer)
{
    const int r = 3000, cerca = 2900, lejos = 1000;
    for (bool largoPrimero : {true, false}) {
        Conjunto en{};
        IniciaArbol();
        PonCadena(r, "tiexyzm");
        PonCadena(cerca, "tiexa");
        PonCadena(lejos, "tiexyzz");
        ASSERT_TRUE(InsertaYComprueba(en, largoPrimero ? lejos : cerca));
        ASSERT_TRUE(InsertaYComprueba(en, largoPrimero ? cerca : lejos));
        InsertaNodo(r);
        ASSERT_GT(PrefijoComun(r, lejos), PrefijoComun(r, cerca));
        EXPECT_EQ(LongIgual, PrefijoComun(r, lejos));
        EXPECT_EQ(PosIgual, Distancia(r, lejos)) << largoPrimero;
    }
}

// Tree 'k' for the removal cases, by insertion order:
//             M
//        F         T
//      C    H    R    W
//     A D  G J  Q    V X
//      B    I
const char* const Bosque = "MFTCHRWADGJVXQIB";

// Removes letter c from the full tree; the checker then confirms order and
// links, and the caller the shape that the chosen replacement produces.
void Quita(Conjunto& en, char c)
{
    BorraNodo(Pos(c));
    en[Pos(c)] = false;
    EXPECT_EQ(Superior[Pos(c)], EnlaceVacio);
    EXPECT_TRUE(ArbolesCorrectos(en)) << "after removing " << c;
}

// Catches: a leaf's parent link not cleared, a single child not lifted.
TEST(Arbol, RemoveLeafAndSingleChildNodes)
{
    Conjunto en{};
    Planta(en, Bosque);
    Quita(en, 'Q');   // a leaf
    EXPECT_EQ(Izquierdo[Pos('R')], EnlaceVacio);
    Quita(en, 'D');   // C keeps only its left child A, which has a right child B
    Quita(en, 'C');   // A moves up whole, B stays below it
    EXPECT_EQ(Izquierdo[Pos('F')], Pos('A'));
    EXPECT_EQ(Superior[Pos('A')], Pos('F'));
    EXPECT_EQ(Derecho[Pos('A')], Pos('B'));
    Quita(en, 'V');   // W has only a right child
    Quita(en, 'W');
    EXPECT_EQ(Derecho[Pos('T')], Pos('X'));
    EXPECT_EQ(Superior[Pos('X')], Pos('T'));
    Quita(en, 'J');   // only a left child, I, which takes its place
    EXPECT_EQ(Derecho[Pos('H')], Pos('I'));
    EXPECT_EQ(Superior[Pos('I')], Pos('H'));
    Quita(en, 'G');   // H keeps only its right child, I
    Quita(en, 'H');
    EXPECT_EQ(Derecho[Pos('F')], Pos('I'));
    EXPECT_EQ(Superior[Pos('I')], Pos('F'));
}

// Catches: the wrong node lifted into a two-child position (it must be the
// largest string of the left subtree), its left subtree lost, or a root's
// link not updated.
TEST(Arbol, RemoveNodesWithTwoChildren)
{
    Conjunto en{};
    Planta(en, Bosque);
    Quita(en, 'T');   // left child R has no right child: R moves up with its left Q
    EXPECT_EQ(Derecho[Pos('M')], Pos('R'));
    EXPECT_EQ(Izquierdo[Pos('R')], Pos('Q'));
    EXPECT_EQ(Derecho[Pos('R')], Pos('W'));

    Quita(en, 'M');   // the top: J, rightmost below F, moves up; its left I goes to H
    EXPECT_EQ(Derecho[PrimeraRaiz + 'k'], Pos('J'));
    EXPECT_EQ(Superior[Pos('J')], PrimeraRaiz + 'k');
    EXPECT_EQ(Izquierdo[Pos('J')], Pos('F'));
    EXPECT_EQ(Derecho[Pos('J')], Pos('R'));
    EXPECT_EQ(Derecho[Pos('H')], Pos('I'));

    Quita(en, 'F');   // hangs left of J; D, rightmost below C, a leaf, moves up
    EXPECT_EQ(Izquierdo[Pos('J')], Pos('D'));
    EXPECT_EQ(Izquierdo[Pos('D')], Pos('C'));
    EXPECT_EQ(Derecho[Pos('C')], EnlaceVacio);
}

// Catches: removal of a position that is in no tree (never inserted, or
// emptied by IniciaArbol) touching the links.
TEST(Arbol, RemovingAbsentPositionChangesNothing)
{
    Conjunto en{};
    Planta(en, Bosque);
    const Enlaces antes = Copia();
    BorraNodo(Pos('E'));
    EXPECT_TRUE(antes == Copia());
    IniciaArbol();
    EXPECT_TRUE(ArbolesCorrectos(Conjunto{}));
    const Enlaces vacio = Copia();
    BorraNodo(Pos('M'));
    BorraNodo(Pos('A'));
    EXPECT_TRUE(vacio == Copia());
}

}  // namespace
