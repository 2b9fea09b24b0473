// The list file: which lines name files, what type each gets, and where the
// limits on names and entries stop a run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ayuda.h"
#include "dedezodi.h"

using namespace dedezodi;

namespace {

struct Entrada { std::string nombre; int tipo; };

std::vector<Entrada> LeeLista(const std::string& contenido)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.lst", contenido);
    int cuenta = ExtraeNombres((carpeta / "x.lst").c_str());
    std::vector<Entrada> entradas;
    for (int i = 0; i < cuenta; ++i)
        entradas.push_back({Nombres[i], Tipos[i]});
    return entradas;
}

Resultado EmpaquetaLista(const CarpetaTemporal& carpeta, const std::string& contenido)
{
    EscribeArchivo(carpeta / "x.lst", contenido);
    return EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta());
}

}  // namespace

// Catches lines that should be skipped being taken as names, or the reverse.
TEST(ListaArchivos, SkipsEmptyCommentAndBlankLines)
{
    auto entradas = LeeLista("\n* a comment\n   \t \n*\nuno\n\n  dos  \n\ttres\tB\n");
    ASSERT_EQ(entradas.size(), 3u);
    EXPECT_EQ(entradas[0].nombre, "uno");
    EXPECT_EQ(entradas[1].nombre, "dos");
    EXPECT_EQ(entradas[2].nombre, "tres");
    EXPECT_TRUE(LeeLista("* only\n\n   \n").empty());
}

// A '*' is a comment only in the first column; after a blank it is a name.
TEST(ListaArchivos, StarAfterBlankIsAName)
{
    auto entradas = LeeLista(" *estrella\n");
    ASSERT_EQ(entradas.size(), 1u);
    EXPECT_EQ(entradas[0].nombre, "*estrella");
}

// Catches a wrong reading of the type word: only a first letter b or B
// marks a binary file; anything else, or nothing, is text.
TEST(ListaArchivos, TypeWordDecidesBinaryOrText)
{
    auto entradas = LeeLista("a b\nb B\nc binary\nd t\ne x\nf\ng Bin extra words\nh\tb\n");
    std::vector<int> tipos;
    for (const auto& e : entradas)
        tipos.push_back(e.tipo);
    EXPECT_EQ(tipos, (std::vector<int>{0, 0, 0, 1, 1, 1, 0, 0}));
}

// A line is read in pieces of 80 characters, each piece a line of its own:
// the 81st character starts a new "line" and so a new name.
TEST(ListaArchivos, LongLinesAreReadInPiecesOf80)
{
    std::string linea = "primero" + std::string(73, ' ') + "segundo b\n";
    ASSERT_EQ(linea.find("segundo"), 80u);
    auto entradas = LeeLista(linea);
    ASSERT_EQ(entradas.size(), 2u);
    EXPECT_EQ(entradas[0].nombre, "primero");
    EXPECT_EQ(entradas[0].tipo, 1);   // the type word went to the next piece
    EXPECT_EQ(entradas[1].nombre, "segundo");
    EXPECT_EQ(entradas[1].tipo, 0);
}

// '_' stands for '.', and CR LF line ends do not leak into names.
TEST(ListaArchivos, UnderscoreIsDotAndCarriageReturnEndsAName)
{
    auto entradas = LeeLista("notas_txt\r\n___\r\ndatos_bin b\r\n");
    ASSERT_EQ(entradas.size(), 3u);
    EXPECT_EQ(entradas[0].nombre, "notas.txt");
    EXPECT_EQ(entradas[1].nombre, "...");
    EXPECT_EQ(entradas[2].nombre, "datos.bin");
    EXPECT_EQ(entradas[2].tipo, 0);
}

// The limits: 12 characters per name, 300 entries.
TEST(ListaArchivos, LimitsOnNamesAndEntries)
{
    auto entradas = LeeLista("abcdefghijkl\n");
    ASSERT_EQ(entradas.size(), 1u);
    EXPECT_EQ(entradas[0].nombre, "abcdefghijkl");

    std::string trescientos;
    for (int i = 0; i < MaxArchivos; ++i)
        trescientos += "f" + std::to_string(i) + "\n";
    EXPECT_EQ(LeeLista(trescientos).size(), 300u);

    CarpetaTemporal carpeta;
    auto largo = EmpaquetaLista(carpeta, "abcdefghijklm\n");
    EXPECT_EQ(largo.estado, 1);
    EXPECT_NE(largo.salida.find("\nFatal error. Name too long: abcdefghijklm\n"), std::string::npos);
    EXPECT_FALSE(ExisteArchivo(carpeta / "x.cmp"));

    auto demasiados = EmpaquetaLista(carpeta, trescientos + "otro\n");
    EXPECT_EQ(demasiados.estado, 1);
    EXPECT_NE(demasiados.salida.find("\nFatal error. Too many files\n"), std::string::npos);
    EXPECT_FALSE(ExisteArchivo(carpeta / "x.cmp"));
}

// A list that cannot be opened or read is named in the message.
TEST(ListaArchivos, UnreadableListIsReported)
{
    CarpetaTemporal carpeta;
    auto falta = EjecutaPrograma(DEDEZODI_BIN, {"nada"}, carpeta.Ruta());
    EXPECT_EQ(falta.estado, 1);
    EXPECT_NE(falta.salida.find("Fatal error. Can't open file 'nada.lst'"), std::string::npos);

    ASSERT_EQ(mkdir((carpeta / "dir.lst").c_str(), 0755), 0);
    auto carpetaComoLista = EjecutaPrograma(DEDEZODI_BIN, {"dir"}, carpeta.Ruta());
    EXPECT_EQ(carpetaComoLista.estado, 1);
    EXPECT_NE(carpetaComoLista.salida.find("Fatal error. Can't read file 'dir.lst'"), std::string::npos);
}

namespace {

// The lowest free descriptor, which open() hands out next: higher after a
// file is left open.
int PrimerDescriptorLibre()
{
    int descriptor = open("/dev/null", O_RDONLY);
    close(descriptor);
    return descriptor;
}

int DescriptorLibreAntes;

// Runs as the fatal error exits: status 2 if the list is still open.
void CompruebaListaCerrada()
{
    if (PrimerDescriptorLibre() != DescriptorLibreAntes)
        _exit(2);
}

}  // namespace

// Found by fuzzing (a list naming "trece_letras1"): a refused list stayed
// open on the fatal error path, which leaks a descriptor wherever that path
// does not end the process.  The child checks at its exit that the list's
// descriptor is free again; exit status 2 would mean it is not.
TEST(ListaArchivos, RefusedListIsClosedBeforeTheFatalError)
{
    std::string trescientos;
    for (int i = 0; i <= MaxArchivos; ++i)
        trescientos += "f" + std::to_string(i) + "\n";
    for (const std::string& contenido : {std::string("trece_letras1\n"), trescientos}) {
        CarpetaTemporal carpeta;
        EscribeArchivo(carpeta / "x.lst", contenido);
        EXPECT_EXIT(
            {
                DescriptorLibreAntes = PrimerDescriptorLibre();
                atexit(CompruebaListaCerrada);
                ExtraeNombres((carpeta / "x.lst").c_str());
            },
            testing::ExitedWithCode(1), "");
    }
}
