// The restorer on one thread and on several: the same console bytes, exit
// status and files, whatever the mix of members and wherever the run stops.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ayuda.h"
#include "vuvodiv.h"

namespace {

const std::string Fin(22, '\0');   // the terminating header

// The members Dedezodi packs from the files, header and data each.
std::vector<std::string> Empaqueta(const std::vector<std::pair<std::string, std::string>>& archivos)
{
    CarpetaTemporal carpeta;
    std::string lista;
    for (const auto& [nombre, datos] : archivos) {
        EscribeArchivo(carpeta / nombre, datos);
        lista += nombre + "\n";
    }
    EscribeArchivo(carpeta / "x.lst", lista);
    EXPECT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    const std::string archivo = LeeArchivo(carpeta / "x.cmp");
    std::vector<std::string> miembros;
    for (size_t i = 0; i + 22 <= archivo.size() && archivo[i] != 0;) {
        const auto byte = [&](size_t k) { return static_cast<uint32_t>(static_cast<uint8_t>(archivo[k])); };
        const uint32_t comprimido = byte(i + 18) << 24 | byte(i + 19) << 16 | byte(i + 20) << 8 | byte(i + 21);
        miembros.push_back(archivo.substr(i, 22 + comprimido));
        i += 22 + comprimido;
    }
    return miembros;
}

// A member under another name and type.
std::string Renombra(const std::string& miembro, const std::string& nombre, int tipo)
{
    std::string copia = miembro;
    copia.replace(0, 12, std::string(nombre + std::string(12, '\0')).substr(0, 12));
    copia[12] = static_cast<char>(tipo);
    return copia;
}

// The data of an LZH member halved, its sizes kept but the packed one.
std::string Danado(const std::string& miembro)
{
    const size_t mitad = (miembro.size() - 22) / 2;
    const auto byte = [&](int k) { return static_cast<uint32_t>(static_cast<uint8_t>(miembro[k])); };
    const uint32_t original = byte(14) << 24 | byte(15) << 16 | byte(16) << 8 | byte(17);
    return Cabecera("roto", 1, 1, original, static_cast<uint32_t>(mitad)) + miembro.substr(22, mitad);
}

std::string Plano(const std::string& nombre, int tipo, const std::string& datos)
{
    const auto tamano = static_cast<uint32_t>(datos.size());
    return Cabecera(nombre, tipo, 0, tamano, tamano) + datos;
}

struct Corrida {
    Resultado resultado;
    std::vector<std::string> nombres;
    std::vector<std::string> contenidos;
};

// Restores the archive in a fresh folder (prepared by preparar) with the
// options and -j hilos.
Corrida Corre(const std::string& archivo, const std::string& hilos, std::vector<std::string> opciones, long limite,
              const std::function<void(const CarpetaTemporal&)>& preparar, long descriptores)
{
    CarpetaTemporal carpeta;
    if (preparar)
        preparar(carpeta);
    EscribeArchivo(carpeta / "x.cmp", archivo);
    opciones.insert(opciones.begin(), {"-j", hilos});
    opciones.push_back("x");
    Corrida corrida{EjecutaPrograma(VUVODIV_BIN, opciones, carpeta.Ruta(), limite, descriptores),
                    ListaCarpeta(carpeta.Ruta()), {}};
    for (const auto& nombre : corrida.nombres)
        corrida.contenidos.push_back(LeeArchivo(carpeta / nombre));
    return corrida;
}

// One thread and four give the same run; the four-thread one is returned.
// limite caps the size of a file, descriptores the descriptors held.
Corrida Compara(const std::string& archivo, const std::vector<std::string>& opciones = {}, long limite = 0,
                const std::function<void(const CarpetaTemporal&)>& preparar = {}, long descriptores = 0)
{
    const Corrida uno = Corre(archivo, "1", opciones, limite, preparar, descriptores);
    Corrida varios = Corre(archivo, "4", opciones, limite, preparar, descriptores);
    EXPECT_EQ(uno.resultado.estado, varios.resultado.estado);
    EXPECT_EQ(uno.resultado.salida, varios.resultado.salida);
    EXPECT_EQ(uno.resultado.errores, varios.resultado.errores);
    EXPECT_EQ(uno.nombres, varios.nombres);
    EXPECT_TRUE(uno.contenidos == varios.contenidos);
    return varios;
}

bool Contiene(const std::string& texto, const std::string& parte) { return texto.find(parte) != std::string::npos; }

// LZH members of text, some large enough that several are pending at once,
// and stored ones (random data does not shrink).
std::vector<std::string> Surtido()
{
    std::vector<std::pair<std::string, std::string>> archivos;
    for (int i = 0; i < 8; ++i)
        archivos.push_back({"t" + std::to_string(i), TextoDePrueba(static_cast<size_t>(3000 + 9000 * (i % 3)),
                                                                    static_cast<uint32_t>(i))});
    archivos.push_back({"azar", DatosAleatorios(20000, 9)});
    archivos.push_back({"cr", std::string("a\r\nb\x81\x60\r\n") + TextoDePrueba(5000, 11)});
    archivos.push_back({"largo", TextoDePrueba(200000, 12)});
    return Empaqueta(archivos);
}

// Every kind of member: LZH and stored, text conversions (type 5 after 3
// and after 2), damaged, unknown method, unsafe name, sizes that disagree,
// two of one name, empty.
std::string Mezcla(const std::vector<std::string>& m)
{
    return Renombra(m[10], "t4", 1) + m[4] + m[0] + m[1] + m[8] + Renombra(m[9], "tres", 3) +
           Renombra(m[9], "cinco", 5) + Danado(m[3]) + Cabecera("raro", 0, 7, 5, 5) + "abcde" +
           Plano("../fuera", 0, "no") + Cabecera("desigual", 0, 0, 9, 3) + "abc" + m[2] +
           Renombra(m[9], "sincr", 2) + Renombra(m[9], "cinco2", 5) + m[6] + Renombra(m[7], "t0", 1) +
           Plano("vacio", 0, "") + Fin;
}

struct EnProceso {
    std::string lineas;
    std::vector<std::string> nombres;
    std::vector<std::string> contenidos;
    uint32_t noRestaurados;
    uint32_t deObreros;   // members the pool's threads decoded
};

// Vuvodiv's member loop in this process, with hilos threads, into a fresh
// folder; its lines are kept.
EnProceso RestauraEnProceso(const std::string& archivo, int hilos)
{
    using namespace vuvodiv;
    static Miembro miembro;
    static Decodificador decodificador;
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", archivo);
    const std::string destino = carpeta / "d";
    CarpetaDestino = destino.c_str();
    HilosPedidos = hilos;
    MiembrosNoRestaurados = 0;
    miembro = Miembro{};
    FILE* lineas = tmpfile();
    Consola = ConsolaErrores = lineas;
    Entrada = fopen((carpeta / "x.cmp").c_str(), "rb");
    AbreDestino();
    RecorreArchivo(miembro, decodificador);
    fclose(Entrada);
    Entrada = nullptr;
    Consola = ConsolaErrores = stdout;
    EnProceso r{LeeTodo(lineas), ListaCarpeta(destino), {}, MiembrosNoRestaurados, MiembrosDeObreros};
    fclose(lineas);
    for (const auto& nombre : r.nombres)
        r.contenidos.push_back(LeeArchivo(destino + "/" + nombre));
    return r;
}

}  // namespace

// Would catch: the threads never started, or never given a member (the
// main thread decoding every member itself gives the same lines and
// files), and the one-thread path handing members out.
TEST(RestauraHilos, ThreadsTakeMembersAndOneThreadDecodesAllItself)
{
    const std::string archivo = Mezcla(Surtido());
    const EnProceso uno = RestauraEnProceso(archivo, 1);
    const EnProceso varios = RestauraEnProceso(archivo, 4);
    EXPECT_EQ(uno.deObreros, 0u);
    EXPECT_GT(varios.deObreros, 0u);
    EXPECT_EQ(uno.lineas, varios.lineas);
    EXPECT_EQ(uno.nombres, varios.nombres);
    EXPECT_TRUE(uno.contenidos == varios.contenidos);
    EXPECT_EQ(uno.noRestaurados, 4u);
    EXPECT_EQ(varios.noRestaurados, 4u);
}

// Would catch: a thread's line, marks or file differing from the plain
// path's, lines out of archive order, a refused member reported late or not
// at all, the text conversion of type 4..255 not carried from the member
// before it in archive order, a second member of a name racing the first
// under -n, a quiet or test run that prints differently.
TEST(RestauraHilos, MixedMembersGiveTheSameRunOnOneThreadAndOnFour)
{
    const std::string archivo = Mezcla(Surtido());
    const Corrida restaura = Compara(archivo);
    EXPECT_EQ(restaura.resultado.estado, 1);
    for (const char* motivo : {"damaged data", "unknown method 7", "unsafe name"})
        EXPECT_TRUE(Contiene(restaura.resultado.salida, motivo)) << motivo;
    EXPECT_TRUE(Contiene(restaura.resultado.salida, "4 members not restored"));
    ASSERT_EQ(restaura.nombres, (std::vector<std::string>{"azar", "cinco", "cinco2", "sincr", "t0", "t1", "t2",
                                                          "t4", "t6", "tres", "vacio", "x.cmp"}));
    // Type 5 converts as the member before it: translated after "tres",
    // carriage returns left out after "sincr".
    const auto& c = restaura.contenidos;
    EXPECT_EQ(c[1], c[9]);
    EXPECT_EQ(c[2], c[3]);
    EXPECT_NE(c[1], c[2]);
    const Corrida prueba = Compara(archivo, {"-t"});
    EXPECT_TRUE(Contiene(prueba.resultado.salida, "damaged data"));
    Compara(archivo, {"-q"});
    const Corrida sinReemplazo = Compara(archivo, {"-n"});
    for (const char* nombre : {"\nt0", "\nt4"})
        EXPECT_TRUE(Contiene(sinReemplazo.resultado.salida, nombre + std::string(14, ' ') + "skipped: the file exists"));
}

// Would catch: a member after the cut (or after a member whose data is cut)
// left restored, the cut reported at another member or with another
// message, a member before it not restored or its line missing.
TEST(RestauraHilos, TruncatedArchiveStopsAtTheSameMember)
{
    const auto m = Surtido();
    const std::string entero = m[0] + m[1] + m[2] + m[3] + m[4] + m[5] + m[6];
    const std::string corte = entero.substr(0, entero.size() - (m[6].size() - 22) / 2);
    const Corrida enDatos = Compara(corte);
    EXPECT_TRUE(Contiene(enDatos.resultado.salida, "Archive 'x.cmp' is truncated in member 't6'"));
    EXPECT_EQ(enDatos.nombres, (std::vector<std::string>{"t0", "t1", "t2", "t3", "t4", "t5", "x.cmp"}));
    Compara(corte, {"-t"});

    const std::string enCabecera = m[0] + m[1] + m[2] + m[3] + m[4] + m[5].substr(0, 10);
    const Corrida cabecera = Compara(enCabecera);
    EXPECT_TRUE(Contiene(cabecera.resultado.salida, "is truncated in a member header"));
    EXPECT_EQ(cabecera.nombres, (std::vector<std::string>{"t0", "t1", "t2", "t3", "t4", "x.cmp"}));
}

// Would catch: a member after a failed write or a failed creation left
// restored, a temporary file left behind (of the failed member or of those
// handed out after it), the error reported before the lines of the members
// ahead of it.
TEST(RestauraHilos, FailedWriteOrCreationLeavesNoLaterMemberNorTemporaryFile)
{
    const auto m = Empaqueta({{"a", TextoDePrueba(3000, 1)},
                              {"grande", DatosAleatorios(60000, 2)},
                              {"b", TextoDePrueba(4000, 3)},
                              {"c", TextoDePrueba(5000, 4)},
                              {"d", TextoDePrueba(6000, 5)}});
    const std::string archivo = m[0] + m[1] + m[2] + m[3] + m[4] + Fin;
    const Corrida escritura = Compara(archivo, {}, 30000);
    EXPECT_EQ(escritura.resultado.estado, 1);
    EXPECT_TRUE(Contiene(escritura.resultado.salida, "Fatal error. Can't write file 'grande'"));
    EXPECT_EQ(escritura.nombres, (std::vector<std::string>{"a", "x.cmp"}));

    // No file can be created in "f".
    const std::string creacion = m[0] + m[2] + m[3] + Renombra(m[4], "f/x", 1) + m[1] + Fin;
    const Corrida carpeta =
        Compara(creacion, {}, 0, [](const CarpetaTemporal& c) { ASSERT_TRUE(BloqueaCarpeta(c / "f")); });
    EXPECT_TRUE(Contiene(carpeta.resultado.salida, "  5000\nFatal error. Can't create file 'f/x'"));
    EXPECT_EQ(carpeta.nombres, (std::vector<std::string>{"a", "b", "c", "f", "x.cmp"}));
}

// Would catch: members handed out each holding a file and a descriptor
// until their turn, so that four threads run out of descriptors where one
// thread does not.
TEST(RestauraHilos, FewDescriptorsGiveTheSameRunAsOneThread)
{
    std::vector<std::pair<std::string, std::string>> archivos;
    for (int i = 0; i < 12; ++i)
        archivos.push_back({"f" + std::to_string(i), TextoDePrueba(40000, static_cast<uint32_t>(i))});
    std::string archivo;
    for (const auto& miembro : Empaqueta(archivos))
        archivo += miembro;
    const Corrida corrida = Compara(archivo + Fin, {}, 0, {}, 10);
    EXPECT_EQ(corrida.resultado.estado, 0) << corrida.resultado.salida;
    EXPECT_EQ(corrida.nombres.size(), 13u);
}

// Would catch: members handed out each holding a whole temporary file
// while the older file of its name still exists, so that on a nearly full
// file system four threads fail to write (or to create a file) where one
// thread replaces every file; a temporary file left behind.  The small
// file systems are tmpfs, which only root may mount: one where the older
// copies fill 16 of 21 MB, one with room for a single file more.
TEST(RestauraHilos, NearlyFullFileSystemReplacesEveryFileAsOneThreadDoes)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    CarpetaTemporal carpeta;
    const std::string montaje = carpeta / "m";
    ASSERT_EQ(mkdir(montaje.c_str(), 0700), 0);
    for (const auto& [opciones, tamano] : {std::pair<const char*, size_t>{"size=21m", 4 << 20},
                                           std::pair<const char*, size_t>{"size=1m,nr_inodes=6", 3000}}) {
        std::string archivo;
        for (int i = 0; i < 4; ++i)
            archivo += Plano("f" + std::to_string(i), 0, DatosAleatorios(tamano, static_cast<uint32_t>(i)));
        EscribeArchivo(carpeta / "x.cmp", archivo + Fin);
        std::string salidas[2];
        for (const char* hilos : {"1", "4"}) {
            if (mount("tmpfs", montaje.c_str(), "tmpfs", 0, opciones) != 0)
                GTEST_SKIP() << "cannot mount a tmpfs: " << strerror(errno);
            struct Desmonta {
                const std::string& ruta;
                ~Desmonta() { umount(ruta.c_str()); }
            } desmonta{montaje};
            for (int i = 0; i < 4; ++i)
                EscribeArchivo(montaje + "/f" + std::to_string(i), std::string(tamano, 'v'));
            const Resultado r = EjecutaPrograma(VUVODIV_BIN, {"-j", hilos, "-d", "m", "x"}, carpeta.Ruta());
            EXPECT_EQ(r.estado, 0) << opciones << " -j " << hilos << r.salida;
            salidas[hilos[0] == '4'] = r.salida;
            EXPECT_EQ(ListaCarpeta(montaje), (std::vector<std::string>{"f0", "f1", "f2", "f3"}));
            for (int i = 0; i < 4; ++i)
                EXPECT_TRUE(LeeArchivo(montaje + "/f" + std::to_string(i)) ==
                            DatosAleatorios(tamano, static_cast<uint32_t>(i)))
                    << opciones << " -j " << hilos << " f" << i;
        }
        EXPECT_EQ(salidas[0], salidas[1]) << opciones;
    }
}

// Would catch: -j taking no number, zero or trailing letters as a count, or
// -j 1 refused.
TEST(RestauraHilos, ThreadCountIsAWholeNumberFromOne)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", Plano("a", 0, "abc") + Fin);
    for (const char* malo : {"0", "-2", "2x", ""}) {
        auto r = EjecutaPrograma(VUVODIV_BIN, {"-j", malo, "x"}, carpeta.Ruta());
        EXPECT_EQ(r.estado, 1) << malo;
        EXPECT_EQ(r.errores, "Vuvodiv: -j takes a whole number of threads, 1 or more\n"
                             "Try 'Vuvodiv --help' for more information.\n")
            << malo;
    }
    EXPECT_EQ(EjecutaPrograma(VUVODIV_BIN, {"--threads=1", "x"}, carpeta.Ruta()).estado, 0);
    EXPECT_EQ(LeeArchivo(carpeta / "a"), "abc");
}
