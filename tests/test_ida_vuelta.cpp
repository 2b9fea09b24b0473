// LZH members through both programs as a user runs them: what Dedezodi packs
// Vuvodiv restores byte for byte, hand-derived streams decode as derived,
// and damaged members are caught or restored to their stated size, never
// longer.

#include <gtest/gtest.h>

#include <algorithm>

#include "ayuda.h"
#include "huffman.h"
#include "vuvodiv.h"

namespace {

const std::string Fin(22, '\0');

struct Archivo { std::string nombre; std::string datos; bool binario; };

// A member as it lies in an archive.
struct Miembro { std::string nombre; int tipo; int metodo; uint32_t original; size_t inicioDatos; uint32_t comprimido; };

uint32_t LeeTamano(const std::string& a, size_t i)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(a[i])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(a[i + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(a[i + 2])) << 8 |
           static_cast<unsigned char>(a[i + 3]);
}

std::vector<Miembro> LeeMiembros(const std::string& archivo)
{
    std::vector<Miembro> miembros;
    for (size_t i = 0; i + 22 <= archivo.size() && archivo[i] != 0;) {
        Miembro m{archivo.substr(i, 12).c_str(), archivo[i + 12], archivo[i + 13],
                  LeeTamano(archivo, i + 14), i + 22, LeeTamano(archivo, i + 18)};
        miembros.push_back(m);
        i = m.inicioDatos + m.comprimido;
    }
    return miembros;
}

// Packs the files with Dedezodi and returns the archive.
std::string Empaqueta(const std::vector<Archivo>& archivos)
{
    CarpetaTemporal carpeta;
    std::string lista;
    for (const auto& a : archivos) {
        EscribeArchivo(carpeta / a.nombre, a.datos);
        lista += a.nombre + (a.binario ? " b\n" : "\n");
    }
    EscribeArchivo(carpeta / "x.lst", lista);
    auto r = EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta());
    EXPECT_EQ(r.estado, 0) << r.salida;
    return LeeArchivo(carpeta / "x.cmp");
}

// Restores an archive with Vuvodiv in a fresh folder.
Resultado Restaura(const CarpetaTemporal& carpeta, const std::string& archivo)
{
    EscribeArchivo(carpeta / "x.cmp", archivo);
    return EjecutaPrograma(VUVODIV_BIN, {"x"}, carpeta.Ruta());
}

void CompruebaIdaYVuelta(const std::vector<Archivo>& archivos)
{
    const std::string archivo = Empaqueta(archivos);
    CarpetaTemporal carpeta;
    auto r = Restaura(carpeta, archivo);
    ASSERT_EQ(r.estado, 0) << r.salida;
    for (const auto& a : archivos)
        EXPECT_EQ(LeeArchivo(carpeta / a.nombre), a.datos) << a.nombre;
}

std::string Bytes(std::initializer_list<int> valores)
{
    std::string bytes;
    for (int v : valores)
        bytes += static_cast<char>(v);
    return bytes;
}

// A run of bytes whose model grows unevenly: a few symbols very often.
std::string DatosSesgados(size_t tamano, uint32_t semilla)
{
    std::string datos = DatosAleatorios(tamano, semilla);
    for (auto& c : datos)
        c = "aaaaaaaabbbbcc\nd"[static_cast<unsigned char>(c) % 16];
    return datos;
}

// The deepest leaf any symbol of an LZH stream was read from: the stream is
// walked with the shared model, independently of the decoder's own loop.
int ProfundidadMaxima(const std::string& datos, uint32_t original)
{
    size_t bit = 0;
    auto leeBit = [&] {
        int valor = bit / 8 < datos.size() ? (static_cast<unsigned char>(datos[bit / 8]) >> (7 - bit % 8)) & 1 : 0;
        ++bit;
        return valor;
    };
    IniciaHuffman();
    int maxima = 0;
    for (uint32_t producidos = 0; producidos < original;) {
        int nodo = Hijo[Raiz], profundidad = 1;
        for (; (nodo = Hijo[nodo + leeBit()]) < MarcaHoja; ++profundidad) {
        }
        maxima = std::max(maxima, profundidad);
        const int simbolo = nodo - MarcaHoja;
        Actualiza(simbolo);
        if (simbolo < 256) {
            ++producidos;
            continue;
        }
        int primero = 0;
        for (int i = 0; i < 8; ++i)
            primero = primero << 1 | leeBit();
        bit += static_cast<size_t>(vuvodiv::LargoPorOcteto[primero] - 2);
        producidos += static_cast<uint32_t>(simbolo - DesplazamientoLongitud);
    }
    return maxima;
}

}  // namespace

// ---- Round trips --------------------------------------------------------------
// Would catch any disagreement between encoder and decoder: the model, the
// position code, the window's starting state, the end of a stream.

TEST(IdaYVuelta, SmallAndBoundarySizes)
{
    std::vector<Archivo> archivos = {
        {"vacio", "", false},
        {"uno", "q", false},
        {"espacios", std::string(5000, ' '), false},
        {"iguales", std::string(70000, 'z'), true},
    };
    const std::string texto = TextoDePrueba(200, 9);
    for (size_t tamano : {59u, 60u, 61u, 62u, 119u, 120u, 121u})
        archivos.push_back({"t" + std::to_string(tamano), texto.substr(0, tamano), false});
    CompruebaIdaYVuelta(archivos);
}

// Long inputs rebuild the model many times; random data is stored, and the
// members after it must not care.
TEST(IdaYVuelta, LongTextRandomAndSkewedData)
{
    CompruebaIdaYVuelta({
        {"texto", TextoDePrueba(600000, 1), false},
        {"ruido", DatosAleatorios(70000, 2), true},
        {"sesgo", DatosSesgados(400000, 3), true},
        {"texto2", TextoDePrueba(9000, 4), false},
    });
}

// A member inherits window bytes beyond the lookahead from the one before;
// they may change the archive's bytes but never what is restored.
TEST(IdaYVuelta, MembersDoNotDependOnEachOther)
{
    const Archivo a{"a", TextoDePrueba(50, 5), false};
    const Archivo b{"b", std::string(30, 'k') + TextoDePrueba(40, 6), false};
    const Archivo c{"c", DatosSesgados(100, 7), false};
    CompruebaIdaYVuelta({a, b, c});
    CompruebaIdaYVuelta({c, b, a});
    CompruebaIdaYVuelta({b});
}

// A symbol coded more than 16 edges deep comes back: the whole path was
// written and read.
TEST(IdaYVuelta, CodesLongerThan16Bits)
{
    const std::string datos = EntradaProfunda();
    const std::string archivo = Empaqueta({{"hondo", datos, true}});
    const Miembro m = LeeMiembros(archivo).at(0);
    ASSERT_EQ(m.metodo, 1);
    const int profundidad = ProfundidadMaxima(archivo.substr(m.inicioDatos, m.comprimido), m.original);
    printf("deepest code: %d bits\n", profundidad);
    EXPECT_GT(profundidad, 16);
    CarpetaTemporal carpeta;
    ASSERT_EQ(Restaura(carpeta, archivo).estado, 0);
    EXPECT_EQ(LeeArchivo(carpeta / "hondo"), datos);
}

// The type byte of an LZH member converts its restored bytes too.
TEST(IdaYVuelta, TextConversionsApplyToLZHMembers)
{
    const std::string texto = TextoDePrueba(3000, 8) + "\x60\x9f";
    std::string archivo = Empaqueta({{"m", texto, false}});
    ASSERT_EQ(LeeMiembros(archivo).at(0).metodo, 1);

    archivo[12] = 2;   // carriage returns dropped
    CarpetaTemporal sinCR;
    ASSERT_EQ(Restaura(sinCR, archivo).estado, 0);
    std::string esperado = texto;
    esperado.erase(std::remove(esperado.begin(), esperado.end(), '\r'), esperado.end());
    EXPECT_EQ(LeeArchivo(sinCR / "m"), esperado);

    archivo[12] = 3;   // translated: 0x60 -> 0x9c, 0x9f -> 0x60, the rest of this text unchanged
    CarpetaTemporal traducido;
    ASSERT_EQ(Restaura(traducido, archivo).estado, 0);
    EXPECT_EQ(LeeArchivo(traducido / "m"), texto.substr(0, 3000) + "\x9c\x60");
}

// Restored bytes leave the window ring in blocks when it wraps, every 32 KiB
// after the first 28732 bytes.  Would catch: a match cut or repeated where it
// crosses the wrap (as a copy by words, from a near byte, or from the far end
// of the ring), a conversion or a mark lost at a block's edge.
TEST(IdaYVuelta, MatchesAndConversionsAcrossTheRingWrap)
{
    const std::string trozo = DatosAleatorios(997, 12);
    std::string datos;
    while (datos.size() < 100000)
        datos += trozo;   // matches 997 back, crossing every wrap
    const size_t vueltas[] = {28732, 28732 + 32768, 28732 + 2 * 32768};
    datos.replace(vueltas[0] - 100, 200, std::string(200, 'z'));   // one byte back
    datos.replace(vueltas[1] - 3, 6, "\r\r\r\x60\r\x9f");
    datos.replace(vueltas[2] - 30, 60, datos.substr(vueltas[2] - 3000, 60));
    std::string archivo = Empaqueta({{"m", datos, false}});
    ASSERT_EQ(LeeMiembros(archivo).at(0).metodo, 1);

    std::string sinCR = datos, traducido = datos;
    sinCR.erase(std::remove(sinCR.begin(), sinCR.end(), '\r'), sinCR.end());
    for (auto& c : traducido)
        c = static_cast<char>(vuvodiv::Tra[static_cast<uint8_t>(c)]);
    const std::string lineaLlena = std::string(20, '\b') + std::string(20, 'o') + "  " + std::to_string(datos.size());
    for (auto [tipo, esperado] : {std::pair{1, &datos}, std::pair{2, &sinCR}, std::pair{3, &traducido}}) {
        archivo[12] = static_cast<char>(tipo);
        CarpetaTemporal carpeta;
        auto r = Restaura(carpeta, archivo);
        ASSERT_EQ(r.estado, 0) << r.salida;
        EXPECT_EQ(LeeArchivo(carpeta / "m"), *esperado) << "type " << tipo;
        EXPECT_NE(r.salida.find(lineaLlena), std::string::npos) << r.salida;   // 20 marks, no more
    }
}

// ---- Streams derived by hand ----------------------------------------------------
// The encoder's tests derive these bytes bit by bit; here the decoder must
// turn them back, and the next header must be read right after them.

TEST(FlujosAMano, DecodeToTheirBytesAndTheNextHeaderFollows)
{
    const std::string siguiente = Cabecera("sigue", 1, 0, 3, 3) + "end";
    const std::string archivo =
        Cabecera("cero", 1, 1, 0, 0) +                              // size 0: no bits at all
        Cabecera("xx", 1, 1, 2, 2) + Bytes({0x04, 0xc5}) +            // ends on a byte boundary
        Cabecera("x61", 1, 1, 61, 4) + Bytes({0x04, 0x04, 0x00, 0x00}) +   // distance 1, length 60
        Cabecera("sp60", 1, 1, 60, 3) + Bytes({0xc5, 0x1d, 0x80}) +   // a first match into the spaces
        siguiente + Fin;
    CarpetaTemporal carpeta;
    auto r = Restaura(carpeta, archivo);
    ASSERT_EQ(r.estado, 0) << r.salida;
    EXPECT_EQ(LeeArchivo(carpeta / "cero"), "");
    EXPECT_EQ(LeeArchivo(carpeta / "xx"), "xx");
    EXPECT_EQ(LeeArchivo(carpeta / "x61"), std::string(61, 'x'));
    EXPECT_EQ(LeeArchivo(carpeta / "sp60"), std::string(60, ' '));
    EXPECT_EQ(LeeArchivo(carpeta / "sigue"), "end");
}

// The decoder's position table: the code of u covers every byte that starts
// with it.
TEST(FlujosAMano, PositionDecodeTable)
{
    using vuvodiv::PrefijoPorOcteto;
    using vuvodiv::LargoPorOcteto;
    EXPECT_EQ(PrefijoPorOcteto[0x1F], 0);
    EXPECT_EQ(LargoPorOcteto[0x1F], 3);
    EXPECT_EQ(PrefijoPorOcteto[0x20], 1);
    EXPECT_EQ(LargoPorOcteto[0x20], 4);
    EXPECT_EQ(PrefijoPorOcteto[0xEF], 47);
    EXPECT_EQ(LargoPorOcteto[0xEF], 7);
    EXPECT_EQ(PrefijoPorOcteto[0xF0], 48);
    EXPECT_EQ(LargoPorOcteto[0xF0], 8);
    EXPECT_EQ(PrefijoPorOcteto[0xFF], 63);
}

// ---- Damage ------------------------------------------------------------------------
// Without a checksum some flips cannot be seen, but none may crash, hang,
// write more than the stated size, or lose the members that follow.

TEST(Danos, EverySingleBitFlipIsCaughtOrRestoredToItsSize)
{
    const std::string texto = TextoDePrueba(400, 11);
    const std::string archivo = Empaqueta({{"m", texto, false}, {"n", "after", false}});
    const Miembro m = LeeMiembros(archivo).at(0);
    ASSERT_EQ(m.metodo, 1);
    int detectados = 0, iguales = 0, distintos = 0;
    CarpetaTemporal carpeta;
    for (size_t bit = 0; bit < 8 * size_t{m.comprimido}; ++bit) {
        std::string danado = archivo;
        danado[m.inicioDatos + bit / 8] ^= static_cast<char>(0x80 >> (bit % 8));
        auto r = Restaura(carpeta, danado);
        ASSERT_LT(r.estado, 2) << "bit " << bit << "\n" << r.salida;
        EXPECT_EQ(LeeArchivo(carpeta / "n"), "after") << "bit " << bit;
        if (r.salida.find("not restored: damaged data") != std::string::npos) {
            EXPECT_EQ(r.estado, 1);
            EXPECT_FALSE(ExisteArchivo(carpeta / "m")) << "bit " << bit;
            ++detectados;
            continue;
        }
        ASSERT_EQ(r.estado, 0) << "bit " << bit;
        const std::string restaurado = LeeArchivo(carpeta / "m");
        ASSERT_EQ(restaurado.size(), texto.size()) << "bit " << bit;
        (restaurado == texto ? iguales : distintos)++;
        EXPECT_EQ(remove((carpeta / "m").c_str()), 0);
    }
    printf("%zu bit flips: %d caught as damaged, %d restored unchanged, %d restored wrong\n",
           8 * size_t{m.comprimido}, detectados, iguales, distintos);
    EXPECT_GT(detectados, static_cast<int>(m.comprimido));   // most flips break the stream
}

// A header that claims 4 GiB over a few bytes of data stops at once.
TEST(Danos, HugeClaimOverFewBytesWritesNothing)
{
    const std::string archivo = Cabecera("grande", 1, 1, 0xFFFFFFFFu, 5) + Bytes({0x04, 0x04, 0x00, 0x00, 0x00}) +
                                Cabecera("sigue", 1, 0, 2, 2) + "ok" + Fin;
    CarpetaTemporal carpeta;
    auto r = Restaura(carpeta, archivo);
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("not restored: damaged data"), std::string::npos);
    EXPECT_FALSE(ExisteArchivo(carpeta / "grande"));
    EXPECT_EQ(LeeArchivo(carpeta / "sigue"), "ok");
    EXPECT_NE(r.salida.find("Fatal error. 1 member not restored"), std::string::npos);
}

// Data the encoder never writes: bytes after the last code, or data for a
// member of size 0.
TEST(Danos, UnusedTrailingDataIsDamage)
{
    const std::string archivo = Cabecera("largo", 1, 1, 61, 5) + Bytes({0x04, 0x04, 0x00, 0x00, 0x00}) +
                                Cabecera("vacio", 1, 1, 0, 1) + Bytes({0x00}) + Fin;
    CarpetaTemporal carpeta;
    auto r = Restaura(carpeta, archivo);
    EXPECT_EQ(r.estado, 1);
    EXPECT_FALSE(ExisteArchivo(carpeta / "largo"));
    EXPECT_FALSE(ExisteArchivo(carpeta / "vacio"));
    EXPECT_NE(r.salida.find("Fatal error. 2 members not restored"), std::string::npos);
}

// At the start of a member the window holds 4036 spaces; the 60 bytes after
// them are not yet written, and a copy from there would expose the previous
// member's bytes.  The first token here is a match of 60 (c5) at P = 4095
// (11111111 111111): it would start at position 4036.  P = 4035 reaches the
// last space and is fine.
TEST(Danos, CopyFromUnwrittenWindowIsDamage)
{
    const std::string archivo = Cabecera("previo", 1, 0, 3, 3) + "abc" +
                                Cabecera("fuga", 1, 1, 60, 3) + Bytes({0xc5, 0xff, 0xfc}) +
                                Cabecera("bueno", 1, 1, 60, 3) + Bytes({0xc5, 0xfc, 0xec}) + Fin;
    CarpetaTemporal carpeta;
    auto r = Restaura(carpeta, archivo);
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("not restored: damaged data"), std::string::npos);
    EXPECT_FALSE(ExisteArchivo(carpeta / "fuga"));
    EXPECT_EQ(LeeArchivo(carpeta / "bueno"), std::string(60, ' '));
}

// An LZH member cut short by the end of the archive is truncation, not damage.
TEST(Danos, TruncatedLZHMemberIsReportedAsTruncated)
{
    const std::string archivo = Empaqueta({{"m", TextoDePrueba(3000, 12), false}});
    const Miembro m = LeeMiembros(archivo).at(0);
    CarpetaTemporal carpeta;
    auto r = Restaura(carpeta, archivo.substr(0, m.inicioDatos + m.comprimido / 2));
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("Fatal error. Archive 'x.cmp' is truncated in member 'm'"), std::string::npos);
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), std::vector<std::string>{"x.cmp"});
}
