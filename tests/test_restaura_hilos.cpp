// The restorer on one thread and on several: the same console bytes, exit
// status and files, whatever the mix of members and wherever the run stops.

#include <gtest/gtest.h>

#include <functional>

#include "ayuda.h"

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
              const std::function<void(const CarpetaTemporal&)>& preparar)
{
    CarpetaTemporal carpeta;
    if (preparar)
        preparar(carpeta);
    EscribeArchivo(carpeta / "x.cmp", archivo);
    opciones.insert(opciones.begin(), {"-j", hilos});
    opciones.push_back("x");
    Corrida corrida{EjecutaPrograma(VUVODIV_BIN, opciones, carpeta.Ruta(), limite), ListaCarpeta(carpeta.Ruta()),
                    {}};
    for (const auto& nombre : corrida.nombres)
        corrida.contenidos.push_back(LeeArchivo(carpeta / nombre));
    return corrida;
}

// One thread and four give the same run; the four-thread one is returned.
Corrida Compara(const std::string& archivo, const std::vector<std::string>& opciones = {}, long limite = 0,
                const std::function<void(const CarpetaTemporal&)>& preparar = {})
{
    const Corrida uno = Corre(archivo, "1", opciones, limite, preparar);
    Corrida varios = Corre(archivo, "4", opciones, limite, preparar);
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

}  // namespace

// Would catch: a thread's line, marks or file differing from the plain
// path's, lines out of archive order, a refused member reported late or not
// at all, the text conversion of type 4..255 not carried from the member
// before it in archive order, a second member of a name racing the first
// under -n, a quiet or test run that prints differently.
TEST(RestauraHilos, MixedMembersGiveTheSameRunOnOneThreadAndOnFour)
{
    const auto m = Surtido();
    std::string archivo = Renombra(m[10], "t4", 1) + m[4] + m[0] + m[1] + m[8] + Renombra(m[9], "tres", 3) + Renombra(m[9], "cinco", 5) +
                          Danado(m[3]) + Cabecera("raro", 0, 7, 5, 5) + "abcde" + Plano("../fuera", 0, "no") +
                          Cabecera("desigual", 0, 0, 9, 3) + "abc" + m[2] + Renombra(m[9], "sincr", 2) +
                          Renombra(m[9], "cinco2", 5) + m[6] + Renombra(m[7], "t0", 1) +
                          Plano("vacio", 0, "") + Fin;
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
