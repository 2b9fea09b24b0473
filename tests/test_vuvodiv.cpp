// The restorer as a user runs it: the files it recreates, its console output
// byte for byte, the text conversions, and what it does with archives that
// are hostile, damaged or cut short.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

#include "ayuda.h"
#include "vuvodiv.h"

using namespace vuvodiv;

namespace {

const std::string Fin(22, '\0');   // the terminating header

std::string Repite(char c, int veces) { return std::string(static_cast<size_t>(veces), c); }

// A stored member: header and data, both sizes the data's length.
std::string Plano(const std::string& nombre, int tipo, const std::string& datos)
{
    auto tamano = static_cast<uint32_t>(datos.size());
    return Cabecera(nombre, tipo, 0, tamano, tamano) + datos;
}

// A restored member's line: name in 14 columns, 20 dots, the cursor back
// over them, 20 marks, the original size.
std::string LineaMiembro(const std::string& nombre, unsigned long tamano)
{
    char campo[64];
    snprintf(campo, sizeof campo, "\n%-14s", nombre.c_str());
    return campo + Repite('.', 20) + Repite('\b', 20) + Repite('o', 20) + "  " + std::to_string(tamano);
}

std::string LineaRechazo(const std::string& nombreVisible, const std::string& motivo)
{
    char campo[64];
    snprintf(campo, sizeof campo, "\n%-14s", nombreVisible.c_str());
    return campo + ("  not restored: " + motivo);
}

// Everything after the banner.
std::string TrasBanner(const std::string& salida)
{
    size_t fin = salida.find('\n', salida.find('\n', 1) + 1);
    return salida.substr(fin + 1);
}

Resultado Restaura(const std::string& carpeta, const std::string& archivo, long limite = 0)
{
    EscribeArchivo(carpeta + "/x.cmp", archivo);
    return EjecutaPrograma(VUVODIV_BIN, {"x"}, carpeta, limite);
}

bool Contiene(const std::string& texto, const std::string& parte) { return texto.find(parte) != std::string::npos; }

using Nombres = std::vector<std::string>;

// Everything written to a temporary stream, which is then closed.
std::string LeeFlujo(FILE* flujo)
{
    std::string contenido;
    rewind(flujo);
    for (int c; (c = getc(flujo)) != EOF;)
        contenido += static_cast<char>(c);
    fclose(flujo);
    return contenido;
}

}  // namespace

// ---- Console ---------------------------------------------------------------------
// Would catch: a changed usage text or status, an off-by-one in the base-name
// limit, '_' not read as '.', an archive that holds only the terminating
// header restoring something.

TEST(ConsolaVuvodiv, UsageNameLimitUnderscoreAndEmptyArchive)
{
    const std::string uso = "\nTo call this programme:\nVuvodiv FileName\n"
                            "  where FileName is the name of a file with extension\n"
                            "  'cmp' that holds the compressed data\n";
    CarpetaTemporal carpeta;
    for (const auto& args : {Nombres{}, Nombres{"a", "b"}}) {
        auto r = EjecutaPrograma(VUVODIV_BIN, args, carpeta.Ruta());
        EXPECT_EQ(r.estado, 0);
        EXPECT_EQ(TrasBanner(r.salida), uso);
    }

    auto nueve = EjecutaPrograma(VUVODIV_BIN, {"abcdefghi"}, carpeta.Ruta());
    EXPECT_EQ(nueve.estado, 1);
    EXPECT_EQ(TrasBanner(nueve.salida), "\nFatal error. Name too long: abcdefghi\n");

    auto falta = EjecutaPrograma(VUVODIV_BIN, {"a_b"}, carpeta.Ruta());
    EXPECT_EQ(falta.estado, 1);
    EXPECT_EQ(TrasBanner(falta.salida), "\nFile of compressed data: a.b.cmp\n\nFatal error. Can't open file 'a.b.cmp'\n");

    EscribeArchivo(carpeta / "abcdefgh.cmp", Fin);
    auto ocho = EjecutaPrograma(VUVODIV_BIN, {"abcdefgh"}, carpeta.Ruta());
    EXPECT_EQ(ocho.estado, 0);
    EXPECT_EQ(TrasBanner(ocho.salida), "\nFile of compressed data: abcdefgh.cmp\n\n\nDone\n");
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), Nombres{"abcdefgh.cmp"});
}

// Would catch: a wrong bar (marks, dots, backspaces), a wrong size field, a
// member of size 0 not created, '_' left in a member name.
TEST(ConsolaVuvodiv, RunOutputByteForByte)
{
    CarpetaTemporal carpeta;
    const std::string diecinueve = DatosAleatorios(19, 3), cien = DatosAleatorios(100, 4);
    EscribeArchivo(carpeta / "a.b.cmp", Plano("vacio", 0, "") + Plano("m_n", 1, diecinueve) + Plano("cien", 0, cien) + Fin);
    auto r = EjecutaPrograma(VUVODIV_BIN, {"a_b"}, carpeta.Ruta());
    EXPECT_EQ(r.estado, 0);
    EXPECT_EQ(TrasBanner(r.salida), "\nFile of compressed data: a.b.cmp\n" + LineaMiembro("vacio", 0) +
                                        LineaMiembro("m.n", 19) + LineaMiembro("cien", 100) + "\n\nDone\n");
    EXPECT_EQ(LeeArchivo(carpeta / "vacio"), "");
    EXPECT_EQ(LeeArchivo(carpeta / "m.n"), diecinueve);
    EXPECT_EQ(LeeArchivo(carpeta / "cien"), cien);
}

// ---- Progress marks ------------------------------------------------------------
// Would catch: marks drawn per written byte instead of per restored byte, or
// at the wrong step (one mark per size / 20 + 1 bytes during the pass).
TEST(ProgresoVuvodiv, MarksDuringThePass)
{
    struct Caso { std::string datos; int tipo; int marcas; };
    const Caso casos[] = {{"", 0, 0}, {Repite('q', 19), 0, 19}, {Repite('q', 100), 0, 16},
                          {"A\r\n", 2, 3}};   // the dropped CR counts
    static Decodificador d;
    for (auto caso : casos) {
        Miembro m{};
        Entrada = fmemopen(caso.datos.data(), caso.datos.size() + 1, "rb");
        m.original = m.comprimido = static_cast<uint32_t>(caso.datos.size());
        m.tipo = static_cast<uint8_t>(caso.tipo);
        m.metodo = MetodoPlano;
        PreparaMiembro(m);
        m.salida = tmpfile();
        ASSERT_TRUE(Entrada && m.salida);
        m.enVivo = true;
        IniciaBarra(m.original);
        RestauraDatos(m, d);
        EXPECT_EQ(Punto, caso.marcas) << caso.datos.size() << " bytes";
        EXPECT_EQ(ftell(m.salida), caso.tipo == 2 ? 2 : static_cast<long>(caso.datos.size()));
        fclose(Entrada);
        fclose(m.salida);
    }
}

// ---- Block output -------------------------------------------------------------
// Would catch: a block that draws its marks at another step than byte by
// byte, loses the count left over between blocks, or converts differently
// (CR dropped before translation, a chunk edge of the conversion buffer).
TEST(BloquesVuvodiv, SameBytesAndMarksAsByteByByte)
{
    std::string datos = DatosAleatorios(20000, 21);
    for (size_t i = 4090; i < 4100; ++i)
        datos[i] = '\r';   // across the 4096-byte conversion chunk
    for (int tipo : {0, 2, 3}) {
        for (uint32_t tamano : {19u, 100u, 8191u, 20000u}) {
            SCOPED_TRACE("type " + std::to_string(tipo) + ", " + std::to_string(tamano) + " bytes");
            Miembro m{};
            m.tipo = static_cast<uint8_t>(tipo);
            m.original = tamano;
            PreparaMiembro(m);
            m.enVivo = true;
            const auto* bytes = reinterpret_cast<const uint8_t*>(datos.data());

            m.salida = tmpfile();
            IniciaBarra(tamano);
            std::vector<int32_t> marcasPorByte;
            for (uint32_t i = 0; i < tamano; ++i) {
                EscribeBloque(m, bytes + i, 1);
                marcasPorByte.push_back(Punto);
            }
            const std::string porByte = LeeFlujo(m.salida);

            m.salida = tmpfile();
            IniciaBarra(tamano);
            uint32_t hecho = 0;
            for (uint32_t trozo = 1; hecho < tamano; trozo = trozo * 3 + 1) {
                const uint32_t n = std::min(trozo % 5000 + 1, tamano - hecho);
                EscribeBloque(m, bytes + hecho, n);
                hecho += n;
                ASSERT_EQ(Punto, marcasPorByte[hecho - 1]) << "after " << hecho << " bytes";
            }
            EXPECT_EQ(LeeFlujo(m.salida), porByte);
        }
    }
}

// ---- Text conversion -------------------------------------------------------------
// Would catch: a wrong entry of the translation table, a conversion applied
// to the wrong type, a type of 4 or more resetting the conversion, a size
// line that counts written bytes instead of the header's size.

// The table's rule: the identity except these 52 entries (input, output).
std::vector<uint8_t> TablaEsperada()
{
    static const std::pair<int, int> cambios[] = {
        {0x60, 0x9C}, {0x80, 0x84}, {0x81, 0x61}, {0x82, 0x86}, {0x83, 0x82}, {0x84, 0x94}, {0x85, 0x6F},
        {0x87, 0x81}, {0x88, 0x87}, {0x89, 0xA4}, {0x8A, 0x91}, {0x8C, 0xA0}, {0x8D, 0x85}, {0x8E, 0x83},
        {0x8F, 0x89}, {0x90, 0x8A}, {0x91, 0x88}, {0x92, 0x8B}, {0x93, 0xA1}, {0x94, 0x8D}, {0x95, 0x8C},
        {0x96, 0xA2}, {0x97, 0x95}, {0x98, 0x93}, {0x99, 0xA3}, {0x9A, 0x97}, {0x9B, 0x96}, {0x9C, 0xE1},
        {0x9D, 0x9B}, {0x9E, 0x9D}, {0x9F, 0x60}, {0xA0, 0x8E}, {0xA1, 0x41}, {0xA2, 0x8F}, {0xA3, 0x90},
        {0xA4, 0x99}, {0xA5, 0x4F}, {0xA7, 0x9A}, {0xA8, 0x80}, {0xA9, 0xA5}, {0xAA, 0x92}, {0xAC, 0xE0},
        {0xAD, 0xEB}, {0xB0, 0xE6}, {0xB1, 0xE3}, {0xB2, 0xED}, {0xB3, 0xAD}, {0xB4, 0xA8}, {0xB6, 0x15},
        {0xB8, 0xAE}, {0xB9, 0xAF}, {0xBB, 0xF6}};
    static_assert(sizeof cambios / sizeof cambios[0] == 52, "52 changed entries");
    std::vector<uint8_t> tabla(256);
    for (int i = 0; i < 256; ++i)
        tabla[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    for (auto [entrada, salida] : cambios)
        tabla[static_cast<size_t>(entrada)] = static_cast<uint8_t>(salida);
    return tabla;
}

TEST(ConversionVuvodiv, TypeThreeTranslatesEveryByteTypeTwoDropsCR)
{
    std::string todos;
    for (int i = 0; i < 256; ++i)
        todos += static_cast<char>(i);
    const auto tabla = TablaEsperada();

    CarpetaTemporal carpeta;
    auto r = Restaura(carpeta.Ruta(), Plano("todos", 3, todos) + Plano("sincr", 2, "A\r\n") + Fin);
    EXPECT_EQ(r.estado, 0);
    EXPECT_EQ(TrasBanner(r.salida), "\nFile of compressed data: x.cmp\n" + LineaMiembro("todos", 256) +
                                        LineaMiembro("sincr", 3) + "\n\nDone\n");
    EXPECT_EQ(LeeArchivo(carpeta / "todos"), std::string(tabla.begin(), tabla.end()));
    EXPECT_EQ(LeeArchivo(carpeta / "sincr"), "A\n");
}

TEST(ConversionVuvodiv, TypeFourAndUpKeepsThePreviousConversion)
{
    // 0x60 and 0x9F translate to 0x9C and 0x60; the CR is kept unless type 2
    // (or a later type of 4 or more) drops it.
    const std::string datos = "\x60\r\n\x9F", tal = datos, sinCR = "\x60\n\x9F", traducido = "\x9C\r\n\x60";
    const std::pair<int, std::string> miembros[] = {{5, tal},         {2, sinCR}, {7, sinCR}, {3, traducido},
                                                    {200, traducido}, {0, tal},   {4, tal}};
    std::string archivo;
    for (size_t i = 0; i < 7; ++i)
        archivo += Plano("t" + std::to_string(i), miembros[i].first, datos);
    CarpetaTemporal carpeta;
    auto r = Restaura(carpeta.Ruta(), archivo + Fin);
    EXPECT_EQ(r.estado, 0);
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(LeeArchivo(carpeta / ("t" + std::to_string(i))), miembros[i].second)
            << "member " << i << " of type " << miembros[i].first;
}

// ---- Archives -----------------------------------------------------------------
// Would catch: any byte the two programs disagree on, a 12-character name
// losing its last byte, a reader that looks past the terminating header.

TEST(ArchivoVuvodiv, RestoresWhatDedezodiPacks)
{
    CarpetaTemporal origen, destino;
    const std::pair<std::string, std::string> archivos[] = {
        {"texto.txt", TextoDePrueba(30000, 5)}, {"datos.bin", DatosAleatorios(70000, 6)},
        {"vacio", ""},                          {"doce.letras1", "twelve"},
        {"uno", "x"}};
    std::string lista;
    Nombres esperados{"x.cmp"};
    for (const auto& [nombre, contenido] : archivos) {
        EscribeArchivo(origen / nombre, contenido);
        lista += nombre + (nombre == "datos.bin" ? " b\n" : "\n");
        esperados.push_back(nombre);
    }
    EscribeArchivo(origen / "x.lst", lista);
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"x"}, origen.Ruta()).estado, 0);

    auto r = Restaura(destino.Ruta(), LeeArchivo(origen / "x.cmp"));
    EXPECT_EQ(r.estado, 0);
    EXPECT_TRUE(Contiene(r.salida, "\n\nDone\n"));
    std::sort(esperados.begin(), esperados.end());
    EXPECT_EQ(ListaCarpeta(destino.Ruta()), esperados);
    for (const auto& [nombre, contenido] : archivos)
        EXPECT_EQ(LeeArchivo(destino / nombre), contenido) << nombre;
}

TEST(ArchivoVuvodiv, NothingAfterTheTerminatingHeaderIsRead)
{
    // Program: a member after the terminator is never restored; the members
    // before it are, and the bytes after it are reported, since the writer
    // leaves none there but a stored member's attempt.
    CarpetaTemporal carpeta;
    const std::string finSucio = std::string(1, '\0') + Repite('\xFF', 21);
    auto r = Restaura(carpeta.Ruta(), Plano("a", 1, "xyz") + finSucio + Plano("trampa", 0, "t") + Fin);
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(Contiene(r.salida, "\nFatal error. Archive 'x.cmp' holds data after its end header: try --salvage\n"));
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), (Nombres{"a", "x.cmp"}));

    // Reader: the archive stands right after the terminator when the loop
    // ends, also after a member whose data was passed over (zeros, so a
    // reader that failed to pass them over would stop early, not restore).
    std::string archivo = Cabecera("m", 0, 9, 3, 3) + std::string(3, '\0') + Fin + "trailing bytes";
    Entrada = fmemopen(archivo.data(), archivo.size(), "rb");
    ASSERT_NE(Entrada, nullptr);
    strcpy(NombreArchivo, "x.cmp");
    MiembrosNoRestaurados = 0;
    static Miembro m;
    static Decodificador d;
    RecorreArchivo(m, d);
    EXPECT_EQ(ftell(Entrada), static_cast<long>(22 + 3 + 22));
    EXPECT_EQ(MiembrosNoRestaurados, 1u);
    fclose(Entrada);
}

// ---- Untrusted archives -------------------------------------------------------
// Would catch: a name that writes outside the working folder or drives the
// terminal, data of a refused member read as the next header, a refused
// member that stops the run or is not counted.

TEST(SeguridadVuvodiv, HostileNamesAreRefusedAndShownEscaped)
{
    CarpetaTemporal carpeta;
    const std::string trabajo = carpeta / "trabajo";
    ASSERT_EQ(mkdir(trabajo.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((trabajo + "/sub").c_str(), 0755), 0);
    ASSERT_FALSE(ExisteArchivo("/tmp/vuvo.x"));
    // (name in the archive, name as the console shows it after the '_' fix-up)
    const std::pair<std::string, std::string> hostiles[] = {
        {"../x", "../x"},       {"__/__/x", "../../x"}, {"a/../../b", "a/../../b"}, {"..", ".."},
        {"sub/..", "sub/.."},   {"sub/", "sub/"},       {".", "."},                 {"sub/_", "sub/."},
        {"a\x1b[2J", "a\\x1b[2J"}, {"tab\tx", "tab\\x09x"}, {"del\x7f", "del\\x7f"}, {"/tmp/vuvo.x", "/tmp/vuvo.x"}};
    std::string archivo, esperado = "\nFile of compressed data: x.cmp\n";
    for (const auto& [nombre, visible] : hostiles) {
        archivo += Plano(nombre, 1, "pwned");
        esperado += LineaRechazo(visible, "unsafe name");
    }
    archivo += Plano("sub/ok_txt", 1, "fine") + Plano("ok", 0, "") + Fin;
    esperado += LineaMiembro("sub/ok.txt", 4) + LineaMiembro("ok", 0) + "\nFatal error. 12 members not restored\n";

    auto r = Restaura(trabajo, archivo);
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(TrasBanner(r.salida), esperado);
    for (char c : r.salida)
        EXPECT_TRUE(c == '\n' || c == '\b' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), Nombres{"trabajo"});
    EXPECT_EQ(ListaCarpeta(trabajo), (Nombres{"ok", "sub", "x.cmp"}));
    EXPECT_EQ(ListaCarpeta(trabajo + "/sub"), Nombres{"ok.txt"});
    EXPECT_EQ(LeeArchivo(trabajo + "/sub/ok.txt"), "fine");
    if (ExisteArchivo("/tmp/vuvo.x")) {
        ADD_FAILURE() << "an absolute name was restored";
        remove("/tmp/vuvo.x");
    }
}

TEST(SeguridadVuvodiv, UnknownMethodIsPassedOverAndTheNextRestored)
{
    // The refused member's data is itself a member: read as a header, it
    // would create "trampa".  An older file of the refused name stays.
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "viejo", "old");
    const std::string datos = Plano("trampa", 0, "t");
    const auto tamano = static_cast<uint32_t>(datos.size());
    auto r = Restaura(carpeta.Ruta(), Cabecera("viejo", 0, 7, tamano, tamano) + datos + Plano("ok", 1, "good") + Fin);
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(TrasBanner(r.salida), "\nFile of compressed data: x.cmp\n" + LineaRechazo("viejo", "unknown method 7") +
                                        LineaMiembro("ok", 4) + "\nFatal error. 1 member not restored\n");
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), (Nombres{"ok", "viejo", "x.cmp"}));
    EXPECT_EQ(LeeArchivo(carpeta / "viejo"), "old");
    EXPECT_EQ(LeeArchivo(carpeta / "ok"), "good");
}

// Would catch: bytes invented for a cut archive, a partial file left behind,
// an older file destroyed, a crash or hang on any prefix, a quiet end at a
// member boundary taken for truncation.
TEST(SeguridadVuvodiv, ArchiveTruncatedAtEveryOffset)
{
    struct Miembro { std::string nombre, restaurado, datos; size_t inicio, fin; };
    std::vector<Miembro> miembros{{"uno", "uno", "hello", 0, 0}, {"vacio", "vacio", "", 0, 0},
                                  {"dos_txt", "dos.txt", std::string("bin\0\xFF\r\n", 7), 0, 0}};
    std::string archivo;
    for (auto& m : miembros) {
        m.inicio = archivo.size();
        archivo += Plano(m.nombre, 0, m.datos);
        m.fin = archivo.size();
    }
    const size_t inicioFin = archivo.size();
    archivo += Fin;

    for (size_t corte = 0; corte < archivo.size(); ++corte) {
        SCOPED_TRACE("cut at " + std::to_string(corte));
        CarpetaTemporal carpeta;
        EscribeArchivo(carpeta / "dos.txt", "old");
        auto r = Restaura(carpeta.Ruta(), archivo.substr(0, corte));

        Nombres esperados{"dos.txt", "x.cmp"};
        bool enLimite = corte >= inicioFin;   // a cut terminator still starts with its zero byte
        const Miembro* cortado = nullptr;
        for (const auto& m : miembros) {
            if (m.fin <= corte && m.restaurado != "dos.txt")
                esperados.push_back(m.restaurado);
            enLimite = enLimite || corte == m.inicio;
            if (m.inicio < corte && corte < m.fin)
                cortado = &m;
        }
        std::sort(esperados.begin(), esperados.end());
        EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), esperados);
        EXPECT_EQ(LeeArchivo(carpeta / "dos.txt"), corte >= miembros[2].fin ? miembros[2].datos : "old");
        if (enLimite) {   // every member before the cut restored, and the cut reported
            EXPECT_EQ(r.estado, 1);
            EXPECT_TRUE(Contiene(r.salida, corte == 0 ? "\nFatal error. Archive 'x.cmp' is empty\n"
                                                      : "\nFatal error. Archive 'x.cmp' ends without its end "
                                                        "header: it may be cut short\n"));
        } else {
            ASSERT_NE(cortado, nullptr);
            bool enCabecera = corte < cortado->inicio + 22;
            EXPECT_EQ(r.estado, 1);
            EXPECT_TRUE(Contiene(r.salida, enCabecera ? "\nFatal error. Archive 'x.cmp' is truncated in a member header\n"
                                                      : "\nFatal error. Archive 'x.cmp' is truncated in member '" +
                                                            cortado->restaurado + "'\n"));
        }
    }
}

// ---- Failures -------------------------------------------------------------------
// Would catch: a failed write reported as success or leaving a partial file
// or destroying the older one, a member file that cannot be created or an
// archive that cannot be read going unreported.

TEST(FallosVuvodiv, WriteErrorKeepsTheOlderFile)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "grande", "old");
    auto r = Restaura(carpeta.Ruta(), Plano("grande", 0, DatosAleatorios(200000, 7)) + Fin, 65536);
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(Contiene(r.salida, "\nFatal error. Can't write file 'grande'\n"));
    EXPECT_EQ(r.errores, "Vuvodiv: can't write 'grande': File too large\n");   // the reason, where it is seen
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), (Nombres{"grande", "x.cmp"}));
    EXPECT_EQ(LeeArchivo(carpeta / "grande"), "old");
}

TEST(FallosVuvodiv, CreateAndReadErrors)
{
    CarpetaTemporal carpeta;
    ASSERT_TRUE(BloqueaCarpeta(carpeta / "ro"));
    auto r = Restaura(carpeta.Ruta(), Plano("a", 1, "aa") + Plano("ro/b", 1, "bb") + Plano("c", 1, "cc") + Fin);
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(TrasBanner(r.salida), "\nFile of compressed data: x.cmp\n" + LineaMiembro("a", 2) +
                                        "\nFatal error. Can't create file 'ro/b'\n");
    EXPECT_EQ(r.errores.rfind("Vuvodiv: can't create 'ro/b': ", 0), 0u) << r.errores;
    EXPECT_GT(r.errores.size(), strlen("Vuvodiv: can't create 'ro/b': \n"));
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), (Nombres{"a", "ro", "x.cmp"}));

    CarpetaTemporal otra;
    ASSERT_EQ(mkdir((otra / "x.cmp").c_str(), 0755), 0);
    auto carpetaComoArchivo = EjecutaPrograma(VUVODIV_BIN, {"x"}, otra.Ruta());
    EXPECT_EQ(carpetaComoArchivo.estado, 1);
    EXPECT_TRUE(Contiene(carpetaComoArchivo.salida, "\nFatal error. Can't read file 'x.cmp'\n"));
    EXPECT_EQ(carpetaComoArchivo.errores, "Vuvodiv: can't read 'x.cmp': Is a directory\n");
}
