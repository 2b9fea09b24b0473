// Salvage (-s) as a user runs it, on archives Dedezodi makes and damages
// made with fixed seeds, and on files that are no archive at all; and the
// plain reader's checks of an archive's end.

#include <gtest/gtest.h>

#include <algorithm>

#include "ayuda.h"
#include "danos.h"

namespace {

const std::string Fin(22, '\0');

std::string Plano(const std::string& nombre, const std::string& datos)
{
    return Cabecera(nombre, 0, 0, static_cast<uint32_t>(datos.size()), static_cast<uint32_t>(datos.size())) + datos;
}

bool Contiene(const std::string& texto, const std::string& parte) { return texto.find(parte) != std::string::npos; }

Resultado Vuvodiv(const CarpetaTemporal& carpeta, const std::vector<std::string>& args)
{
    return EjecutaPrograma(VUVODIV_BIN, args, carpeta.Ruta());
}

// Text, an empty file, random bytes (stored), a tiny file and a larger
// text: stored and LZH members side by side, packed as given.
ArchivoPrueba Muestra(uint32_t semilla, const std::vector<std::string>& opciones)
{
    return EmpaquetaPrueba({{"uno.txt", TextoDePrueba(9000, semilla)},
                            {"vacio", ""},
                            {"ruido.bin", DatosAleatorios(5000, semilla + 1)},
                            {"c", "x"},
                            {"dos.txt", TextoDePrueba(14000, semilla + 2)},
                            {"mas.bin", DatosAleatorios(3000, semilla + 3)}},
                           opciones);
}

}  // namespace

// ---- An archive as Dedezodi wrote it ----------------------------------------------
// Would catch: a sound archive reported damaged (the tail a stored last
// member's attempt leaves after the end header included), a member lost or
// changed, a line or summary missing, -t writing files.

TEST(RescateIntacto, EverythingSalvagedWithStatusZero)
{
    const ArchivoPrueba archivo = Muestra(3, {});
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", archivo.bytes);
    ASSERT_GT(archivo.bytes.size(), archivo.miembros.back().fin + 22) << "the last member's attempt stays behind";

    auto prueba = Vuvodiv(carpeta, {"-s", "-t", "x"});
    EXPECT_EQ(prueba.estado, 0) << prueba.salida;
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), std::vector<std::string>{"x.cmp"});

    auto r = Vuvodiv(carpeta, {"--salvage", "-j", "3", "-d", "out", "x"});
    EXPECT_EQ(r.estado, 0) << r.salida;
    for (const char* linea : {"\nuno.txt               9000  restored", "\nvacio                    0  restored",
                              "\n6 members salvaged (0 repaired), 0 partial, 0 suspect, 0 lost; 0 bytes not "
                              "accounted for\n\nDone\n"})
        EXPECT_TRUE(Contiene(r.salida, linea)) << linea << "\n" << r.salida;
    for (const auto& m : archivo.miembros)
        EXPECT_EQ(LeeArchivo(carpeta / ("out/" + m.nombre)), m.datos) << m.nombre;

    auto quieto = Vuvodiv(carpeta, {"-sq", "-n", "-d", "out", "x", "*.txt"});   // each exists: skipped
    EXPECT_EQ(quieto.estado, 0);
    EXPECT_EQ(quieto.salida + quieto.errores, "uno.txt: skipped: the file exists\ndos.txt: skipped: the file exists\n");
}

// Would catch: a member refused for its path (a link, a file in the way)
// counted as salvaged with status 0, and a name the packer wrote twice in a
// sound archive turned into a member of its own.
TEST(RescateIntacto, RefusedPathsFailAndRepeatedNamesReplaceAsARestoreDoes)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", Plano("d/pw", "n\n") + Plano("v", "v\n") + Plano("b", "1") + Plano("b", "2") + Fin);
    mkdir((carpeta / "out").c_str(), 0777);
    mkdir((carpeta / "fuera").c_str(), 0777);
    ASSERT_EQ(symlink("../fuera", (carpeta / "out/d").c_str()), 0);
    auto r = Vuvodiv(carpeta, {"-s", "-d", "out", "x"});
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(Contiene(r.salida, "d/pw            not restored: a folder of its name is a symbolic link"))
        << r.salida;
    EXPECT_TRUE(Contiene(r.salida, "\nFatal error. 1 member not restored\n")) << r.salida;
    EXPECT_EQ(ListaCarpeta(carpeta / "out"), (std::vector<std::string>{"b", "d", "v"}));
    EXPECT_EQ(LeeArchivo(carpeta / "out/b"), "2");
    EXPECT_EQ(ListaCarpeta(carpeta / "fuera"), std::vector<std::string>{});
}

// Would catch: a crafted stretch that uses up the decoding cap of the whole
// run, so that the intact members after it are lost.  Each 22 bytes of it
// look like an LZH header whose data decodes for a while.
TEST(RescateIntacto, AStretchThatExhaustsTheCapLeavesTheMembersAfterIt)
{
    std::string trampa;
    while (trampa.size() < 2200000)
        trampa += std::string(12, 'a') + std::string("\0\1\0\0\x10\0\0\0\1\0", 10);
    const ArchivoPrueba archivo = Muestra(5, {});
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", trampa + archivo.bytes);
    auto r = Vuvodiv(carpeta, {"-s", "-d", "out", "x"});
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(Contiene(r.salida, "not accounted for: the work limit was reached")) << r.salida;
    for (const auto& m : archivo.miembros)
        EXPECT_EQ(LeeArchivo(carpeta / ("out/" + m.nombre)), m.datos) << m.nombre;
}

// Would catch: the last bytes of a stored member that gained bytes, read
// with the zeros of the end header after them, taken for an empty member of
// its own and written ("xyz" here).
TEST(RescateDanos, ShiftedEndIsNoEmptyMember)
{
    const std::string datos = TextoDePrueba(3000, 4) + "xyz";
    std::string archivo = Plano("a.txt", TextoDePrueba(2000, 3)) + Plano("b.txt", datos) + Fin + "tail of an attempt";
    archivo.insert(22 + 2000 + 22 + 1500, "XYZ");
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", archivo);
    auto r = Vuvodiv(carpeta, {"-s", "-d", "out", "x"});
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(ListaCarpeta(carpeta / "out"), (std::vector<std::string>{"a.txt", "b.txt"})) << r.salida;
    EXPECT_EQ(LeeArchivo(carpeta / "out/a.txt"), TextoDePrueba(2000, 3));
}

// ---- The damage models -------------------------------------------------------------
// Would catch: an untouched member lost or changed, a member invented from
// damaged bytes, a partial file that is not a prefix, detectable damage
// passing with status 0.

TEST(RescateDanos, UntouchedMembersComeBackAndDamageIsReported)
{
    const ArchivoPrueba archivos[] = {Muestra(11, {}), Muestra(12, {"--best"})};
    int trabajos = 0;
    for (ModeloDano modelo : TodosLosModelos) {
        for (uint32_t semilla = 1; semilla <= 6; ++semilla) {
            const ArchivoPrueba& archivo = archivos[semilla % 2];
            const ArchivoDanado danado = Dana(archivo, modelo, semilla * 7919u);
            const Recuento cuenta = MideRestauracion(archivo, danado, {"-s"});
            SCOPED_TRACE(std::string(NombreModelo(modelo)) + ", seed " + std::to_string(semilla) + "\n" + cuenta.salida);
            EXPECT_EQ(cuenta.exactos, cuenta.intactos);
            EXPECT_EQ(cuenta.inventados, 0);
            // Flips in stored data, or in a name, pass every check; bytes
            // inserted in or deleted from stored data change it unseen, though
            // what follows it then shows the damage.
            const bool volteos = modelo == ModeloDano::Bit || modelo == ModeloDano::Bits4 ||
                                 modelo == ModeloDano::Bits16 || modelo == ModeloDano::BitCabecera;
            const bool tocado = std::count(danado.tocado.begin(), danado.tocado.end(), true) > 0;
            if (!volteos) {
                EXPECT_TRUE(!tocado || cuenta.estado == 1);
            }
            if (modelo == ModeloDano::Sector || modelo == ModeloDano::Corte || modelo == ModeloDano::SinCabeza) {
                EXPECT_EQ(cuenta.erroneos, 0);
            }
            ++trabajos;
        }
    }
    EXPECT_EQ(trabajos, 54);
}

// A member cut by the end of the file keeps its verified prefix; the
// members before it are whole.
TEST(RescateDanos, CutMemberKeepsAVerifiedPrefix)
{
    const ArchivoPrueba archivo = Muestra(21, {});
    const MiembroPrueba& dos = archivo.miembros[4];
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", archivo.bytes.substr(0, dos.inicio + (dos.fin - dos.inicio) / 2));
    auto r = Vuvodiv(carpeta, {"-s", "-d", "out", "x"});
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(Contiene(r.salida, "cut by the end of the archive")) << r.salida;
    EXPECT_TRUE(Contiene(r.salida, "\nthe archive ends without its end header")) << r.salida;
    const std::string parte = LeeArchivo(carpeta / "out/dos.txt.partial");
    EXPECT_GT(parte.size(), 1000u);
    EXPECT_EQ(dos.datos.compare(0, parte.size(), parte), 0);
    EXPECT_FALSE(ExisteArchivo(carpeta / "out/dos.txt"));
    EXPECT_EQ(LeeArchivo(carpeta / "out/ruido.bin"), archivo.miembros[2].datos);
}

// ---- Repairs and the odd names ---------------------------------------------------------
// Would catch: a repair not made or not said, a wrong size taken, an
// unusable name written as it is, a zeroed stored member passed as sound.

TEST(RescateReparaciones, SizesOneBitOffNamesAndZeroedBlocks)
{
    ArchivoPrueba archivo = Muestra(31, {});
    std::string bytes = archivo.bytes;
    bytes[archivo.miembros[0].inicio + 16] ^= 0x01;   // uno.txt: original size + or - 256
    bytes[archivo.miembros[2].inicio + 20] ^= 0x02;   // ruido.bin: packed size off by 512
    bytes[archivo.miembros[5].inicio + 9] = '\x07';    // mas.bin: a control byte in the name's padding
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", bytes);
    auto r = Vuvodiv(carpeta, {"-s", "-d", "out", "x"});
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(Contiene(r.salida, "restored, original size repaired (the header said ")) << r.salida;
    EXPECT_TRUE(Contiene(r.salida, "restored, packed size repaired (the header said 4488)")) << r.salida;
    EXPECT_EQ(LeeArchivo(carpeta / "out/uno.txt"), archivo.miembros[0].datos);
    EXPECT_EQ(LeeArchivo(carpeta / "out/ruido.bin"), archivo.miembros[2].datos);
    char posicion[16];
    snprintf(posicion, sizeof posicion, "@%08zx", archivo.miembros[5].inicio);
    EXPECT_EQ(LeeArchivo(carpeta / ("out/" + std::string(posicion))), archivo.miembros[5].datos);
    EXPECT_FALSE(ExisteArchivo(carpeta / "out/mas.bin"));

    // A stored member over an aligned block of zeros is kept, as suspect.
    const std::string datos = DatosAleatorios(3000, 5);
    std::string zeros = Plano("z.bin", datos) + Plano("ok", "fine") + Fin;
    std::fill(zeros.begin() + 1024, zeros.begin() + 1536, '\0');
    EscribeArchivo(carpeta / "z.cmp", zeros);
    auto z = Vuvodiv(carpeta, {"-s", "-d", "zz", "z"});
    EXPECT_EQ(z.estado, 1);
    EXPECT_TRUE(Contiene(z.salida, "a zeroed block overlaps it: kept as 'z.bin.suspect'")) << z.salida;
    EXPECT_EQ(ListaCarpeta(carpeta / "zz"), (std::vector<std::string>{"ok", "z.bin.suspect"}));
}

// ---- Files that are no archive ------------------------------------------------------------
// Would catch: a member invented in text, random bytes, zero-heavy binary
// records, a program or another format's archive.

TEST(RescateNoArchivos, NoMemberIsFoundWhereThereIsNone)
{
    std::string registros;   // fixed records: short names padded with zeros, small numbers
    for (uint32_t i = 0; i < 4000; ++i) {
        std::string r = "rec" + std::to_string(i);
        r.resize(16, '\0');
        r += std::string(1, static_cast<char>(i & 3)) + std::string(7, '\0') + std::string(1, static_cast<char>(i));
        registros += r;
    }
    std::vector<std::pair<std::string, std::string>> archivos = {
        {"texto", TextoDePrueba(400000, 1)}, {"azar", DatosAleatorios(400000, 2)}, {"registros", registros}};
    for (const char* programa : {"/bin/ls", "/bin/sh", "/usr/bin/env"})
        if (ExisteArchivo(programa))
            archivos.emplace_back(programa, LeeArchivo(programa));
    CarpetaTemporal carpeta;
    if (ExisteArchivo("/bin/gzip")) {
        EscribeArchivo(carpeta / "t", TextoDePrueba(200000, 3));
        ASSERT_EQ(EjecutaPrograma("/bin/gzip", {"-9", "t"}, carpeta.Ruta()).estado, 0);
        archivos.emplace_back("gzip", LeeArchivo(carpeta / "t.gz"));
    }
    for (const auto& [nombre, bytes] : archivos) {
        EscribeArchivo(carpeta / "x.cmp", bytes);
        auto r = Vuvodiv(carpeta, {"-s", "-d", "out", "x"});
        EXPECT_EQ(r.estado, 1) << nombre;
        EXPECT_TRUE(Contiene(r.salida, "\n0 members salvaged")) << nombre << "\n" << r.salida;
        EXPECT_FALSE(ExisteArchivo(carpeta / "out") && !ListaCarpeta(carpeta / "out").empty()) << nombre;
    }
    // A standard input that cannot be read (a folder) is a read error, not an empty archive.
    auto r = EjecutaPrograma("/bin/sh", {"-c", "exec \"$0\" -s -t - <.", VUVODIV_BIN}, carpeta.Ruta());
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(Contiene(r.salida, "Fatal error. Can't read file '(standard input)'")) << r.salida;
}

// ---- The plain reader's end of the archive -----------------------------------------------
// Would catch: a cut archive, an empty file or data after the end header
// passing as sound in any mode, a file of another format called a cut
// archive, salvage combined with a mode it cannot serve.

TEST(FinDeArchivo, EveryModeReportsAWrongEnd)
{
    CarpetaTemporal carpeta;
    const std::string dos = Plano("a", "abc") + Plano("b", "defgh");
    const std::pair<std::string, std::string> casos[] = {
        {dos, "ends without its end header: it may be cut short"},
        {dos + Fin.substr(0, 10), "ends without its end header: it may be cut short"},
        {"", "is empty"},
        {dos + Fin + "x", "holds data after its end header: try --salvage"},
        {dos + Fin + Plano("c", "zzz") + Fin, "holds data after its end header: try --salvage"}};
    for (const auto& [bytes, mensaje] : casos) {
        EscribeArchivo(carpeta / "x.cmp", bytes);
        for (const std::vector<std::string>& llamada :
             {std::vector<std::string>{"x"}, {"-l", "x"}, {"-t", "x"}, {"-p", "x"}, {"-j", "2", "x"}}) {
            auto r = Vuvodiv(carpeta, llamada);
            EXPECT_EQ(r.estado, 1) << llamada[0] << " " << mensaje;
            const std::string esperado = llamada[0] == "-p" ? "Vuvodiv: archive 'x.cmp' " + mensaje + "\n"
                                                            : "Fatal error. Archive 'x.cmp' " + mensaje + "\n";
            EXPECT_TRUE(Contiene(r.salida + r.errores, esperado)) << llamada[0] << "\n" << r.salida << r.errores;
        }
    }
    EXPECT_EQ(LeeArchivo(carpeta / "b"), "defgh");   // the members before a wrong end are restored
    EscribeArchivo(carpeta / "x.cmp", dos + Fin + std::string(3000, '\0'));   // zeros after it are padding
    EXPECT_EQ(Vuvodiv(carpeta, {"x"}).estado, 0);

    EscribeArchivo(carpeta / "x.cmp", std::string("PK\x03\x04\x14\0\0\0\x08\0", 10) + TextoDePrueba(500, 1));
    for (const char* modo : {"-t", "-l"}) {
        auto r = Vuvodiv(carpeta, {modo, "x"});
        EXPECT_EQ(r.estado, 1);
        EXPECT_TRUE(Contiene(r.salida, "\nFatal error. File 'x.cmp' is not an archive of this format\n")) << r.salida;
    }
    auto mezcla = Vuvodiv(carpeta, {"-s", "-l", "x"});
    EXPECT_EQ(mezcla.estado, 1);
    EXPECT_TRUE(Contiene(mezcla.errores, "-s does not combine with -l or -p")) << mezcla.errores;
}

// ---- The rules a plain restore does not need -------------------------------------------
// Would catch: padding bits not checked (a flipped one passes a plain
// restore unseen), zeros within a stored member's attempt reach taken for
// the end header although members follow.

TEST(RescateReglas, PaddingBitsAndZerosThatAreNoEnd)
{
    CarpetaTemporal carpeta;
    bool probado = false;
    for (uint32_t semilla = 1; semilla < 20 && !probado; ++semilla) {
        ArchivoPrueba archivo = EmpaquetaPrueba({{"t.txt", TextoDePrueba(3000, semilla)}, {"u", "fin"}});
        std::string bytes = archivo.bytes;
        bytes[archivo.miembros[0].fin - 1] ^= 0x01;   // the last bit of the LZH data
        EscribeArchivo(carpeta / "x.cmp", bytes);
        if (Vuvodiv(carpeta, {"-t", "x"}).estado != 0)
            continue;   // that bit was the last code's, not padding
        probado = true;
        auto r = Vuvodiv(carpeta, {"-s", "-t", "x"});
        EXPECT_EQ(r.estado, 1);
        EXPECT_TRUE(Contiene(r.salida, "\nt.txt           not restored: damaged data")) << r.salida;
        EXPECT_TRUE(Contiene(r.salida, "\nu                        3  verified")) << r.salida;
    }
    EXPECT_TRUE(probado);

    // A stored member's attempt may reach past everything after it; zeros
    // over the next header must still not end the walk.
    const std::string ruido = DatosAleatorios(3000, 9);
    std::string ceros = Plano("a", ruido) + Plano("b", "bbbbbbbb") + Plano("c", "cc") + Fin;
    std::fill(ceros.begin() + 22 + 3000, ceros.begin() + 22 + 3000 + 30, '\0');
    EscribeArchivo(carpeta / "z.cmp", ceros);
    auto z = Vuvodiv(carpeta, {"-s", "-d", "zz", "z"});
    EXPECT_EQ(z.estado, 1);
    EXPECT_EQ(LeeArchivo(carpeta / "zz/c"), "cc") << z.salida;
    EXPECT_EQ(LeeArchivo(carpeta / "zz/a"), ruido);
}
