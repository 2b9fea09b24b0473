// The LZH encoder: exact bits of small streams, the bit writer and the
// position code, codes deeper than 16 edges, and when a member is stored.

#include <gtest/gtest.h>

#include <algorithm>

#include "arbol.h"
#include "ayuda.h"
#include "dedezodi.h"
#include "secuencia_profunda.h"

using namespace dedezodi;

namespace {

// Runs the encoder over `entrada` as the driver would and returns the LZH
// bytes; *menor receives its verdict.
std::string Codifica(const std::string& entrada, int* menor = nullptr)
{
    EntradaMiembro = tmpfile();
    fwrite(entrada.data(), 1, entrada.size(), EntradaMiembro);
    Salida = tmpfile();
    TamanoOriginal = static_cast<uint32_t>(entrada.size());
    EmpiezaPasada();
    int resultado = DedezodiLZH();
    if (menor)
        *menor = resultado;
    std::string bytes = LeeTodo(Salida);
    fclose(EntradaMiembro);
    fclose(Salida);
    EXPECT_EQ(bytes.size(), OctetosComprimidos);
    return bytes;
}

std::string Hex(const std::string& bytes)
{
    std::string texto;
    char cifra[4];
    for (unsigned char c : bytes) {
        snprintf(cifra, sizeof cifra, "%s%02x", texto.empty() ? "" : " ", c);
        texto += cifra;
    }
    return texto;
}

// Depth of the leaf that holds `simbolo` in the model as it stands.
int Profundidad(int simbolo)
{
    int profundidad = 0;
    for (int nodo = Padre[simbolo + MarcaHoja]; nodo != Raiz; nodo = Padre[nodo])
        ++profundidad;
    return profundidad;
}

// Reads symbols back from the bits by walking the same model from the root,
// one bit per edge: a reader independent of the encoder's code register.
std::vector<int> LeeSimbolos(const std::string& bytes, size_t cuantos)
{
    IniciaHuffman();
    size_t bit = 0;
    std::vector<int> simbolos;
    while (simbolos.size() < cuantos) {
        int nodo = Hijo[Raiz];
        while (nodo < MarcaHoja) {
            int valor = bit / 8 < bytes.size() ? (static_cast<unsigned char>(bytes[bit / 8]) >> (7 - bit % 8)) & 1 : 0;
            ++bit;
            nodo = Hijo[nodo + valor];
        }
        simbolos.push_back(nodo - MarcaHoja);
        Actualiza(nodo - MarcaHoja);
    }
    return simbolos;
}

}  // namespace

// ---- Streams worked out by hand ------------------------------------------------
// In the starting tree node 314 + m/2 is the parent of node m, so a symbol's
// code is read off the parities of its ancestors, root first (odd = 1).
// Each member starts with the window bytes after the lookahead at 0, as at
// program start, so these tests run in this order in a fresh process.

// No input: the one literal coded is the window byte at 4036, 0.  Symbol 0
// climbs 0, 314, 471, 549, 588, 608, 618, 623, 625 (parities 0 0 1 1 0 0 0
// 1 1); root first that is 110001100, padded with zeros: c6 00.
TEST(FlujoLZH, EmptyInputCodesOneLiteral)
{
    int menor = -1;
    EXPECT_EQ(Hex(Codifica("", &menor)), "c6 00");
    EXPECT_EQ(menor, 0);
}

// "xx": 'x' (120) climbs 120, 374, 501, 564, 596, 612, 620, 624 -> 00000100.
// Its count 2 then passes every count-1 node and it trades places with node
// 313; the second 'x' climbs 313, 470, 549, 588, 608, 618, 623, 625 ->
// 11000101.  Sixteen bits end on a byte boundary: no padding byte, and two
// bytes are not smaller than two, so the member would be stored.
TEST(FlujoLZH, TwoLiteralsEndOnAByteBoundary)
{
    int menor = -1;
    EXPECT_EQ(Hex(Codifica("xx", &menor)), "04 c5");
    EXPECT_EQ(menor, 0);
}

// "xxxxxx": the literal 'x' (04), then a match of 5 at distance 1: symbol
// 258 climbs 258, 443, 535, 581, 604, 616, 622, 625 -> 10001110 (8e), and
// position 0 is 000 plus 000000: 04 8e then nine zero bits and the padding.
TEST(FlujoLZH, ShortMatchAtDistanceOne)
{
    EXPECT_EQ(Hex(Codifica("xxxxxx")), "04 8e 00 00");
}

// 61 times 'x': the literal, then a match of 60 (symbol 313, which the
// first update moved to node 120, so it climbs 'x''s old path: 00000100),
// then position 0: 04 04 00 00.
TEST(FlujoLZH, FullMatchAtDistanceOne)
{
    EXPECT_EQ(Hex(Codifica(std::string(61, 'x'))), "04 04 00 00");
}

// 60 spaces match the window's spaces at once.  The 60 positions inserted
// before the first all hold 60 spaces, each replacing the one before, so the
// match is with 3976: P = 59.  Symbol 313 climbs 313, 470, 549, 588, 608,
// 618, 623, 625 -> 11000101 (c5); P is 000 then 111011: c5 1d 80.
TEST(FlujoLZH, SpacesMatchTheInitialWindow)
{
    EXPECT_EQ(Hex(Codifica(std::string(60, ' '))), "c5 1d 80");
}

// ---- Bit writer and position code ------------------------------------------------

// The position prefix code is complete and prefix-free: every 8-bit string
// starts with exactly one code, and codes grow by one, shifted where the
// length grows.
TEST(CodigoPosicion, EveryByteStartsWithExactlyOneCode)
{
    unsigned siguiente = 0;
    for (int u = 0; u < NumPrefijosPosicion; ++u) {
        if (u > 0)
            siguiente = (siguiente + 1) << (LongCodigoPosicion[u] - LongCodigoPosicion[u - 1]);
        EXPECT_EQ(BitsCodigoPosicion[u], siguiente << (8 - LongCodigoPosicion[u])) << "u = " << u;
    }
    for (int b = 0; b < 256; ++b) {
        int cuantos = 0;
        for (int u = 0; u < NumPrefijosPosicion; ++u)
            cuantos += (b >> (8 - LongCodigoPosicion[u])) == (BitsCodigoPosicion[u] >> (8 - LongCodigoPosicion[u]));
        EXPECT_EQ(cuantos, 1) << "b = " << b;
    }
}

// One call writes zero, one or two bytes and keeps the bits that did not fit.
TEST(EscritorBits, WritesWholeBytesAndKeepsTheRest)
{
    Salida = tmpfile();
    OctetosComprimidos = 0;
    EmpiezaBits();
    EscribeBit(16, 0xABCD);                 // empty buffer, 16 bits: two bytes
    EXPECT_EQ(OctetosComprimidos, 2u);
    EscribeBit(5, 0xF800);                  // 5 bits held, nothing written
    EXPECT_EQ(OctetosComprimidos, 2u);
    EscribeBit(16, 0x8001);                 // 21 bits: two bytes, 5 kept
    EXPECT_EQ(OctetosComprimidos, 4u);
    EscribeBit(3, 0x2000);                  // with the low 5 bits kept: one byte
    EXPECT_EQ(OctetosComprimidos, 5u);
    CodificaFinal();                        // nothing pending: no padding byte
    // 11111 then 1000000000000001 then 001: fc 00, then 00001 001.
    EXPECT_EQ(Hex(LeeTodo(Salida)), "ab cd fc 00 09");
    fclose(Salida);
}

// ---- Deep codes ---------------------------------------------------------------------

// A code longer than 16 edges is written whole: every symbol of the deep
// sequence reads back, and the stream holds exactly the sum of the depths.
TEST(CodigoProfundo, CodesLongerThan16BitsAreWrittenWhole)
{
    const std::vector<int> secuencia = GeneraSecuenciaProfunda();
    Salida = tmpfile();
    OctetosComprimidos = 0;
    IniciaHuffman();
    size_t bits = 0;
    int masProfundo = 0;
    for (int simbolo : secuencia) {
        int profundidad = Profundidad(simbolo);
        masProfundo = std::max(masProfundo, profundidad);
        bits += static_cast<size_t>(profundidad);
        CodificaOcteto(simbolo);
    }
    CodificaFinal();
    std::string bytes = LeeTodo(Salida);
    fclose(Salida);
    EXPECT_GT(masProfundo, 16);
    EXPECT_EQ(bytes.size(), (bits + 7) / 8);
    EXPECT_EQ(LeeSimbolos(bytes, secuencia.size()), secuencia);
}

// ---- Stored or compressed -------------------------------------------------------------

// Data LZH cannot shrink is stored, at 100%.  The archive is not truncated
// after the terminating header, so the tail of the longer LZH attempt stays
// behind it, exactly as the encoder wrote it.
TEST(AlmacenadoLZH, IncompressibleDataIsStoredAndTheAttemptStaysBehind)
{
    const std::string datos = DatosAleatorios(1000, 5);
    std::fill(Texto + InicioEscritura, Texto + sizeof Texto, 0);   // a fresh process's window
    int menor = -1;
    const std::string intento = Codifica(datos, &menor);
    ASSERT_EQ(menor, 0);
    ASSERT_GT(intento.size(), datos.size() + 22);

    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "ruido", datos);
    EscribeArchivo(carpeta / "x.lst", "ruido b\n");
    auto r = EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta());
    EXPECT_EQ(r.estado, 0);
    EXPECT_NE(r.salida.find("100%"), std::string::npos);
    const std::string archivo = LeeArchivo(carpeta / "x.cmp");
    const std::string esperado = Cabecera("ruido", 0, 0, 1000, 1000) + datos + std::string(22, '\0');
    ASSERT_EQ(archivo.size(), 22 + intento.size());
    EXPECT_EQ(archivo.substr(0, esperado.size()), esperado);
    EXPECT_EQ(archivo.substr(esperado.size()), intento.substr(esperado.size() - 22));
}

// Text shrinks and is kept as LZH; its percentage is rounded to nearest.
TEST(AlmacenadoLZH, TextIsKeptCompressed)
{
    const std::string texto = TextoDePrueba(20000, 3);
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "texto", texto);
    EscribeArchivo(carpeta / "x.lst", "texto\n");
    auto r = EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta());
    ASSERT_EQ(r.estado, 0);
    const std::string archivo = LeeArchivo(carpeta / "x.cmp");
    ASSERT_GT(archivo.size(), 44u);
    EXPECT_EQ(archivo[13], 1);   // method LZH
    const uint32_t comprimido = static_cast<uint32_t>(archivo.size() - 44);
    EXPECT_EQ(archivo.substr(0, 22), Cabecera("texto", 1, 1, 20000, comprimido));
    EXPECT_EQ(archivo.substr(22 + comprimido), std::string(22, '\0'));
    char porcentaje[8];
    snprintf(porcentaje, sizeof porcentaje, "%3d%%", static_cast<int>(comprimido / 200.0 + 0.5));
    EXPECT_NE(r.salida.find(porcentaje), std::string::npos);
}
