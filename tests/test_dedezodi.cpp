// The compressor as a user runs it: the archive bytes it writes, its console
// output, and what it does when something goes wrong.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ayuda.h"
#include "dedezodi.h"

using namespace dedezodi;

namespace {

const std::string Ceros22(22, '\0');

std::string Repite(char c, int veces) { return std::string(static_cast<size_t>(veces), c); }

// One member's console line: name, empty bar, marks (a second bar when the
// LZH attempt was dropped for the stored copy), then the percentage over the
// last columns of the name field.
std::string LineaMiembro(const std::string& nombre, int porcentaje, int barras)
{
    char campo[32];
    snprintf(campo, sizeof campo, "\n%-20s", nombre.c_str());
    std::string linea = campo + Repite('.', 20) + Repite('\b', 20) + Repite('o', 20);
    if (barras == 2)
        linea += Repite('\b', 20) + Repite('.', 20) + Repite('\b', 20) + Repite('o', 20);
    char cifra[8];
    snprintf(cifra, sizeof cifra, "%3d%%", porcentaje);
    return linea + Repite('\b', 26) + cifra;
}

// Everything after the banner.
std::string TrasBanner(const std::string& salida)
{
    size_t fin = salida.find('\n', salida.find('\n', 1) + 1);
    return salida.substr(fin + 1);
}

Resultado Empaqueta(const CarpetaTemporal& carpeta, const std::string& lista, const std::string& base = "x")
{
    std::string nombreLista = base + ".lst";
    std::replace(nombreLista.begin(), nombreLista.end(), '_', '.');
    EscribeArchivo(carpeta / nombreLista, lista);
    return EjecutaPrograma(DEDEZODI_BIN, {base}, carpeta.Ruta());
}

}  // namespace

// ---- Console ----------------------------------------------------------------

// The banner is underlined with exactly as many '=' as it has characters.
TEST(ConsolaDedezodi, BannerIsUnderlinedToItsLength)
{
    CarpetaTemporal carpeta;
    auto r = EjecutaPrograma(DEDEZODI_BIN, {}, carpeta.Ruta());
    ASSERT_EQ(r.salida.substr(0, 1), "\n");
    size_t finTitulo = r.salida.find('\n', 1);
    size_t finRaya = r.salida.find('\n', finTitulo + 1);
    std::string titulo = r.salida.substr(1, finTitulo - 1);
    EXPECT_NE(titulo.find("Dedezodi"), std::string::npos);
    EXPECT_EQ(r.salida.substr(finTitulo + 1, finRaya - finTitulo - 1), Repite('=', static_cast<int>(titulo.size())));
}

// Wrong argument counts show the usage text with status 0.
TEST(ConsolaDedezodi, UsageForNoneOrTwoArguments)
{
    const std::string uso = "\nTo call this programme:\nDedezodi FileName\n"
                            "  where FileName is the name of a file with extension\n"
                            "  'lst' that holds the relation of files to compress\n";
    CarpetaTemporal carpeta;
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"a", "b"}}) {
        auto r = EjecutaPrograma(DEDEZODI_BIN, args, carpeta.Ruta());
        EXPECT_EQ(r.estado, 0);
        EXPECT_EQ(TrasBanner(r.salida), uso);
    }
}

// The base name has at most 8 characters; 9 stop the run before any file
// is touched.
TEST(ConsolaDedezodi, BaseNameOfEightAcceptedNineRefused)
{
    CarpetaTemporal carpeta;
    auto nueve = EjecutaPrograma(DEDEZODI_BIN, {"abcdefghi"}, carpeta.Ruta());
    EXPECT_EQ(nueve.estado, 1);
    EXPECT_EQ(TrasBanner(nueve.salida), "\nFatal error. Name too long: abcdefghi\n");

    auto ocho = Empaqueta(carpeta, "", "abcdefgh");
    EXPECT_EQ(ocho.estado, 0);
    EXPECT_EQ(LeeArchivo(carpeta / "abcdefgh.cmp"), Ceros22);
}

// The whole console output of a run, byte for byte.
TEST(ConsolaDedezodi, RunOutputByteForByte)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "uno.txt", "abc");
    EscribeArchivo(carpeta / "vacio", "");
    auto r = Empaqueta(carpeta, "uno_txt\nvacio b\n", "a_b");
    EXPECT_EQ(r.estado, 0);
    EXPECT_EQ(TrasBanner(r.salida), "\nData file: a.b.lst\n\nNumber of files: 2\n" +
                                        LineaMiembro("uno.txt", 100, 2) + LineaMiembro("vacio", 0, 2) +
                                        "\n\nDone\n");
    EXPECT_TRUE(ExisteArchivo(carpeta / "a.b.cmp"));
}

// ---- Archive bytes ------------------------------------------------------------

// Sizes are unsigned and big-endian; a 12-character name fills its field.
TEST(ArchivoDedezodi, HeaderLayout)
{
    Salida = tmpfile();
    ASSERT_NE(Salida, nullptr);
    EscribeCabecera("abcdefghijkl", 1, 0, 0x80000001u, 0xFEDCBA98u);
    EscribeCabecera("a.b", 0, 1, 3, 2);
    rewind(Salida);
    char leido[2 * 22];
    ASSERT_EQ(fread(leido, 1, sizeof leido, Salida), sizeof leido);
    fclose(Salida);
    Salida = nullptr;
    EXPECT_EQ(std::string(leido, 22), std::string("abcdefghijkl\x01\x00\x80\x00\x00\x01\xFE\xDC\xBA\x98", 22));
    EXPECT_EQ(std::string(leido + 22, 22), Cabecera("a.b", 0, 1, 3, 2));
}

// An empty list gives only the terminating header; an empty file a stored
// member of sizes 0 with the next header right after it.
TEST(ArchivoDedezodi, EmptyListAndEmptyFile)
{
    CarpetaTemporal carpeta;
    ASSERT_EQ(Empaqueta(carpeta, "* nothing\n\n").estado, 0);
    EXPECT_EQ(LeeArchivo(carpeta / "x.cmp"), Ceros22);

    EscribeArchivo(carpeta / "vacio", "");
    EscribeArchivo(carpeta / "doce.letras1", "12");
    ASSERT_EQ(Empaqueta(carpeta, "vacio b\ndoce_letras1\n").estado, 0);
    EXPECT_EQ(LeeArchivo(carpeta / "x.cmp"),
              Cabecera("vacio", 0, 0, 0, 0) + Cabecera("doce.letras1", 1, 0, 2, 2) + "12" + Ceros22);
}

// The progress bar draws one mark per (size / 20 + 1) bytes during a pass.
TEST(ArchivoDedezodi, ProgressMarksDuringAPass)
{
    for (auto [tamano, marcas] : {std::pair{0u, 0}, {19u, 19}, {100u, 16}, {20u, 10}}) {
        std::string datos(tamano, 'q');
        EntradaMiembro = tmpfile();
        fwrite(datos.data(), 1, datos.size(), EntradaMiembro);
        Salida = tmpfile();
        TamanoOriginal = tamano;
        EmpiezaPasada();
        DedezodiPlano();
        EXPECT_EQ(Punto, marcas) << tamano << " bytes";
        EXPECT_EQ(OctetosComprimidos, tamano);
        fclose(EntradaMiembro);
        fclose(Salida);
    }
}

// ---- Failures -------------------------------------------------------------------

// A failed run leaves an older archive as it was and no temporary file.
TEST(FallosDedezodi, FailedRunKeepsTheOldArchive)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "a", "contents");
    ASSERT_EQ(Empaqueta(carpeta, "a\n").estado, 0);
    const std::string anterior = LeeArchivo(carpeta / "x.cmp");

    auto r = Empaqueta(carpeta, "a\nfalta\n");
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("\nFatal error. Can't open file 'falta'\n"), std::string::npos);
    EXPECT_EQ(LeeArchivo(carpeta / "x.cmp"), anterior);
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), (std::vector<std::string>{"a", "x.cmp", "x.lst"}));
}

// A write that fails (here a file-size limit) is reported, not ignored.
TEST(FallosDedezodi, WriteErrorIsReported)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "grande", DatosAleatorios(200000, 1));
    EscribeArchivo(carpeta / "x.lst", "grande\n");
    auto r = EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta(), 65536);
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("\nFatal error. Can't write file 'x.cmp'\n"), std::string::npos);
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), (std::vector<std::string>{"grande", "x.lst"}));
}

// A listed folder is not a file we can read.
TEST(FallosDedezodi, ListedFolderIsReported)
{
    CarpetaTemporal carpeta;
    ASSERT_EQ(mkdir((carpeta / "sub").c_str(), 0755), 0);
    auto r = Empaqueta(carpeta, "sub\n");
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("\nFatal error. Can't read file 'sub'\n"), std::string::npos);
    EXPECT_FALSE(ExisteArchivo(carpeta / "x.cmp"));
}

// 4 GiB do not fit the 32-bit size fields: refused before any data is read
// (a sparse file, so the test costs no disk).
TEST(FallosDedezodi, FileOf4GiBIsRefused)
{
    CarpetaTemporal carpeta;
    int fd = open((carpeta / "enorme").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 0x100000000LL), 0);
    close(fd);
    auto r = Empaqueta(carpeta, "enorme b\n");
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("\nFatal error. File too large: enorme\n"), std::string::npos);
    EXPECT_FALSE(ExisteArchivo(carpeta / "x.cmp"));
}
