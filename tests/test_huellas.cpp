// Archive fingerprints: the real Dedezodi packs deterministic generated
// inputs and the archives must hash to fixed values, so a change meant only
// to make the programs faster cannot alter a single archive byte unnoticed.
// Each archive is then restored by the real Vuvodiv and compared with its
// inputs.
//
// The expected fingerprints were recorded from the archives written by the
// build before any speed work (commit 44d0cbf), whose output the encoder's
// golden-stream and brute-force match-finder tests had already checked.  A
// deliberate format change must re-record them; nothing else may.
//
// The inputs are chosen for what the encoder does with them: text with many
// short matches, bytes with no matches (stored), zeros and runs that fill
// the trees with long equal strings and full 60-byte matches, fixed-size
// records whose trees degenerate into long chains, and many small members
// in one archive, each of which starts from the window the previous one
// left behind.

#include <gtest/gtest.h>

#include "ayuda.h"

namespace {

// FNV-1a, 64 bits, over the whole archive: compact, and any changed,
// missing or extra byte changes it.
uint64_t Huella(const std::string& bytes)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

std::string Repite(char c, size_t veces) { return std::string(veces, c); }

// Runs of a few byte values with lengths around the longest match (60) and
// the window (4096), in a fixed order.
std::string Rachas(size_t tamano)
{
    static const char valores[] = {'a', 'b', ' ', '\0', '\xff'};
    static const size_t largos[] = {1, 2, 3, 59, 60, 61, 62, 119, 120, 121, 500, 5000};
    std::string datos;
    for (size_t k = 0; datos.size() < tamano; ++k)
        datos += Repite(valores[(k * 7) % 5], largos[(k * 5) % 12]);
    datos.resize(tamano);
    return datos;
}

// 20-byte records: a little-endian counter, a small cycling field, padding
// and a name from a pool of 300: the kind of table whose strings share long
// prefixes at many distances.
std::string Registros(size_t cuantos)
{
    std::string datos;
    char nombre[16];
    for (size_t i = 0; i < cuantos; ++i) {
        for (int b = 0; b < 4; ++b)
            datos += static_cast<char>((i >> (8 * b)) & 0xFF);
        datos += static_cast<char>(i % 7);
        datos += Repite('\0', 3);
        snprintf(nombre, sizeof nombre, "NAME%05zu", i % 300);
        datos += std::string(nombre, 9);
        datos += static_cast<char>(i % 3);
        datos += Repite('\0', 2);
    }
    return datos;
}

struct Miembro {
    std::string nombre;
    std::string datos;
};

// Packs the members in one run, checks the archive's fingerprint, then
// restores it in another folder and compares every file.  Returns the archive.
std::string CompruebaArchivo(const std::vector<Miembro>& miembros, uint64_t esperada)
{
    CarpetaTemporal origen;
    CarpetaTemporal destino;
    std::string lista;
    for (const auto& m : miembros) {
        EscribeArchivo(origen / m.nombre, m.datos);
        lista += m.nombre + " b\n";
    }
    EscribeArchivo(origen / "x.lst", lista);
    auto r = EjecutaPrograma(DEDEZODI_BIN, {"x"}, origen.Ruta());
    EXPECT_EQ(r.estado, 0) << r.salida;
    const std::string archivo = LeeArchivo(origen / "x.cmp");
    EXPECT_EQ(Huella(archivo), esperada) << std::hex << "archive fingerprint 0x" << Huella(archivo);

    EscribeArchivo(destino / "x.cmp", archivo);
    auto v = EjecutaPrograma(VUVODIV_BIN, {"x"}, destino.Ruta());
    EXPECT_EQ(v.estado, 0) << v.salida;
    for (const auto& m : miembros)
        EXPECT_TRUE(LeeArchivo(destino / m.nombre) == m.datos) << m.nombre << " not restored";
    return archivo;
}

}  // namespace

// Would catch: a wrong check value, which would make every test below
// meaningless.  The values are the published FNV-1a test vectors.
TEST(HuellasArchivo, FingerprintMatchesKnownVectors)
{
    EXPECT_EQ(Huella(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(Huella("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(Huella("foobar"), 0x85944171f73967e8ull);
}

TEST(HuellasArchivo, TextMember)
{
    CompruebaArchivo({{"texto.txt", TextoDePrueba(300000, 11)}}, 0xfdb6800a3b793840ull);
}

TEST(HuellasArchivo, RandomMemberIsStored)
{
    auto archivo = CompruebaArchivo({{"azar.bin", DatosAleatorios(70000, 12)}}, 0x7bcb562c5c93ced1ull);
    ASSERT_GT(archivo.size(), 13u);
    EXPECT_EQ(archivo[13], '\0') << "random bytes should be stored, not LZH-coded";
}

TEST(HuellasArchivo, ZerosRunsAndRecordsInOneArchive)
{
    CompruebaArchivo({{"ceros.bin", Repite('\0', 100000)},
                      {"rachas.bin", Rachas(200000)},
                      {"tabla.bin", Registros(15000)}},
                     0xb7cb1337b614e6aeull);
}

// Sizes around the longest match and the window, alternating kinds, so
// members end and begin in every state of the window and the trees.
TEST(HuellasArchivo, ManySmallMembersShareTheWindow)
{
    static const size_t tamanos[] = {0, 1, 2, 3, 59, 60, 61, 62, 100, 4095, 4096, 4097, 5000, 17000};
    std::vector<Miembro> miembros;
    for (size_t i = 0; i < 28; ++i) {
        const size_t n = tamanos[i % 14] + i / 14;
        std::string datos;
        switch (i % 4) {
        case 0: datos = TextoDePrueba(n, static_cast<uint32_t>(i)); break;
        case 1: datos = DatosAleatorios(n, static_cast<uint32_t>(i)); break;
        case 2: datos = Repite(' ', n); break;
        default: datos = Rachas(n + 7000).substr(7000); break;
        }
        char nombre[16];
        snprintf(nombre, sizeof nombre, "m%02zu.dat", i);
        miembros.push_back({nombre, datos});
    }
    CompruebaArchivo(miembros, 0xf423b861c7528768ull);
}
