// The command line beyond the one-argument call: listing, testing, a target
// folder, standard output, chosen members, no overwriting, quiet runs, a
// BASE with folders; and the two writes that must never happen (over the
// archive being read, through a symbolic link).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

#include "ayuda.h"

namespace {

const std::string Fin(22, '\0');
using Args = std::vector<std::string>;
using Nombres = std::vector<std::string>;

std::string Plano(const std::string& nombre, int tipo, const std::string& datos)
{
    auto tamano = static_cast<uint32_t>(datos.size());
    return Cabecera(nombre, tipo, 0, tamano, tamano) + datos;
}

// Six bytes that the LZH decoder finds to be damaged half way through.
const std::string Danado = Cabecera("mal.txt", 1, 1, 50, 6) + std::string(6, '\xff');

// An archive of every kind of member: text whose CR is dropped, translated
// text, binary, an unknown method, damaged LZH data, an unsafe name.
std::string Mezcla()
{
    return Plano("sincr.txt", 2, "a\r\nb\r\n") + Plano("tra.txt", 3, "`x") + Plano("BIN.DAT", 0, "\r\x81") +
           Cabecera("raro", 0, 7, 2, 2) + "zz" + Danado + Plano("../fuera", 1, "no") + Fin;
}

Resultado Vuvodiv(const CarpetaTemporal& carpeta, const Args& args)
{
    return EjecutaPrograma(VUVODIV_BIN, args, carpeta.Ruta());
}

bool Contiene(const std::string& texto, const std::string& parte) { return texto.find(parte) != std::string::npos; }

}  // namespace

// ---- The one-argument call and the help ------------------------------------------
// Would catch: options changing what the one-argument call prints or
// returns, --help taken for a base name, options reached without a leading '-'.
TEST(LlamadaVuvodiv, OneArgumentCallPrintsWhatItAlwaysPrinted)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", Mezcla());
    auto r = Vuvodiv(carpeta, {"x"});
    const std::string barra = std::string(20, '.') + std::string(20, '\b');
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(r.salida.substr(r.salida.find("\nFile")),
              "\nFile of compressed data: x.cmp\n"
              "\nsincr.txt     " + barra + std::string(20, 'o') + "  6"
              "\ntra.txt       " + barra + std::string(20, 'o') + "  2"
              "\nBIN.DAT       " + barra + std::string(20, 'o') + "  2"
              "\nraro            not restored: unknown method 7"
              "\nmal.txt       " + barra + std::string(20, '.') + "  not restored: damaged data"
              "\n../fuera        not restored: unsafe name"
              "\nFatal error. 3 members not restored\n");
    EXPECT_EQ(r.errores, "Vuvodiv: 3 members not restored\n");   // standard error is another file
    EXPECT_EQ(LeeArchivo(carpeta / "sincr.txt"), "a\nb\n");

    auto ayuda = Vuvodiv(carpeta, {"--help"});
    EXPECT_EQ(ayuda.estado, 0);
    EXPECT_EQ(ayuda.salida.rfind("Usage: Vuvodiv BASE\n", 0), 0u);
    for (const char* opcion : {"--list", "--test", "--pipe", "--directory", "--no-overwrite", "--quiet"})
        EXPECT_TRUE(Contiene(ayuda.salida, opcion)) << opcion;
    EXPECT_EQ(Vuvodiv(carpeta, {"-h"}).salida, ayuda.salida);
    for (const char* opcion : {"--version", "-V"}) {
        auto version = EjecutaPrograma(DEDEZODI_BIN, {opcion}, carpeta.Ruta());
        EXPECT_EQ(version.salida, "Dedezodi " VERSION_PROYECTO "\nMIT licence: free to use, change and share; no warranty.\n");
    }

    auto uso = Vuvodiv(carpeta, {"x", "y", "z"});   // no argument begins with '-': the usage text
    EXPECT_EQ(uso.estado, 0);
    EXPECT_TRUE(Contiene(uso.salida, "\nTo call this programme:\nVuvodiv FileName\n"));
    auto mala = Vuvodiv(carpeta, {"-x", "x"});
    EXPECT_EQ(mala.estado, 1);
    EXPECT_EQ(mala.salida, "");
    EXPECT_EQ(mala.errores, "Vuvodiv: unknown option -x\nTry 'Vuvodiv --help' for more information.\n");
}

// Would catch: an option after BASE taken for the usage text (status 0, no
// work done), and an argument that drives the terminal from an error line.
TEST(LlamadaVuvodiv, OptionsAfterBaseAndEscapedArguments)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", Mezcla());
    auto prueba = Vuvodiv(carpeta, {"x", "-t"});
    EXPECT_EQ(prueba.estado, 1);
    EXPECT_TRUE(Contiene(prueba.salida, "mal.txt")) << prueba.salida;
    EXPECT_FALSE(ExisteArchivo(carpeta / "sincr.txt"));

    EscribeArchivo(carpeta / "t.txt", TextoDePrueba(20000, 3));
    EscribeArchivo(carpeta / "n.lst", "t_txt\n");
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"-q", "--best", "n"}, carpeta.Ruta()).estado, 0);
    const std::string mejor = LeeArchivo(carpeta / "n.cmp");
    unlink((carpeta / "n.cmp").c_str());
    auto empaca = EjecutaPrograma(DEDEZODI_BIN, {"n", "--best"}, carpeta.Ruta());
    EXPECT_EQ(empaca.estado, 0);
    EXPECT_EQ(LeeArchivo(carpeta / "n.cmp"), mejor);

    auto escapa = EjecutaPrograma(DEDEZODI_BIN, {"-q", "t", "x\x1b]0;owned\a"}, carpeta.Ruta());
    EXPECT_EQ(escapa.estado, 1);
    EXPECT_TRUE(Contiene(escapa.errores, "x\\x1b]0;owned\\x07")) << escapa.errores;
    EXPECT_FALSE(Contiene(escapa.errores, "\x1b"));
    auto opcion = Vuvodiv(carpeta, {"--\x1b[2J"});
    EXPECT_EQ(opcion.estado, 1);
    EXPECT_FALSE(Contiene(opcion.errores, "\x1b")) << opcion.errores;
}

// Would catch: the limit or the '_' rule applied to the folders of BASE, the
// archive written beside the working folder instead of the list, the
// listed files looked up beside the list.
TEST(LlamadaVuvodiv, BaseWithFolders)
{
    CarpetaTemporal carpeta;
    mkdir((carpeta / "mis_archivos").c_str(), 0777);
    EscribeArchivo(carpeta / "dato.txt", "hola");
    EscribeArchivo(carpeta / "mis_archivos/a.b.lst", "dato_txt\n");
    auto empaca = EjecutaPrograma(DEDEZODI_BIN, {"-q", "mis_archivos/a_b"}, carpeta.Ruta());
    EXPECT_EQ(empaca.estado, 0);
    EXPECT_EQ(empaca.salida + empaca.errores, "");
    ASSERT_TRUE(ExisteArchivo(carpeta / "mis_archivos/a.b.cmp"));

    mkdir((carpeta / "otra").c_str(), 0777);
    auto r = EjecutaPrograma(VUVODIV_BIN, {"../mis_archivos/a_b"}, carpeta / "otra");
    EXPECT_EQ(r.estado, 0);
    EXPECT_TRUE(Contiene(r.salida, "File of compressed data: ../mis_archivos/a.b.cmp\n"));
    EXPECT_EQ(LeeArchivo(carpeta / "otra/dato.txt"), "hola");
    EXPECT_EQ(Vuvodiv(carpeta, {"mis_archivos/abcdefghi"}).estado, 1);
}

// --best writes a smaller archive of the same files that the restorer
// restores as it is; without it the archive is the default one.
TEST(LlamadaDedezodi, BestMakesASmallerArchiveOfTheSameFiles)
{
    CarpetaTemporal carpeta;
    const std::string texto = TextoDePrueba(60000, 8);
    EscribeArchivo(carpeta / "t.txt", texto);
    EscribeArchivo(carpeta / "x.lst", "t_txt\n");
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    const std::string normal = LeeArchivo(carpeta / "x.cmp");
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"-q", "--best", "x"}, carpeta.Ruta()).estado, 0);
    const std::string mejor = LeeArchivo(carpeta / "x.cmp");
    EXPECT_LT(mejor.size(), normal.size());
    unlink((carpeta / "t.txt").c_str());
    ASSERT_EQ(Vuvodiv(carpeta, {"x"}).estado, 0);
    EXPECT_EQ(LeeArchivo(carpeta / "t.txt"), texto);
}

// -j N changes nothing in the archive, whatever N; a count that is not a
// whole number from 1 is refused.  That -j reaches the thread count, and
// that with several threads workers do part of the work, is shown inside
// the process (test_hilos.cpp): a program run cannot show it.
TEST(LlamadaDedezodi, ThreadsWriteTheSameArchive)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "t.txt", TextoDePrueba(200000, 5));
    EscribeArchivo(carpeta / "r.bin", DatosAleatorios(70000, 5));
    EscribeArchivo(carpeta / "x.lst", "t_txt\nr.bin b\n");
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    const std::string normal = LeeArchivo(carpeta / "x.cmp");
    for (const char* hilos : {"1", "3"}) {
        ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"-qj", hilos, "x"}, carpeta.Ruta()).estado, 0);
        EXPECT_TRUE(LeeArchivo(carpeta / "x.cmp") == normal) << "-j " << hilos;
    }
    for (const char* malo : {"0", "2x", ""})
        EXPECT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"-j", malo, "x"}, carpeta.Ruta()).estado, 1) << malo;
}

// ---- Modes -------------------------------------------------------------------------
// Would catch: a listing that decodes (and so fails on damaged data), wrong
// type or method words, wrong totals, a quiet listing that hides the list, a
// test that writes files or calls a damaged member OK, unknown methods or
// truncation passing with status 0.
TEST(ModosVuvodiv, ListAndTest)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", Mezcla());
    auto lista = Vuvodiv(carpeta, {"-l", "x"});
    EXPECT_EQ(lista.estado, 1);   // the unknown method
    for (const char* linea :
         {"\nName            Type        Method        Original      Packed  Ratio",
          "\nsincr.txt       text-nocr   stored               6           6   100%",
          "\ntra.txt         translated  stored               2           2   100%",
          "\nBIN.DAT         binary      stored               2           2   100%",
          "\nraro            binary      method-7             2           2   100%",
          "\nmal.txt         text        LZH                 50           6    12%",
          "\n6 members                                       64          20    31%",
          "\nFatal error. 1 member cannot be restored\n"})
        EXPECT_TRUE(Contiene(lista.salida, linea)) << linea;

    auto sola = Vuvodiv(carpeta, {"-lq", "x", "tra_txt"});   // the listing alone, for a pipe
    EXPECT_EQ(sola.estado, 0);
    EXPECT_EQ(sola.salida, "tra.txt         translated  stored               2           2   100%\n");

    auto prueba = Vuvodiv(carpeta, {"--test", "x"});
    EXPECT_EQ(prueba.estado, 1);
    for (const char* parte : {"oooooooooooooooooooo  OK\ntra.txt", "\nraro            unknown method 7",
                              "....................  damaged data", "\n../fuera        unsafe name",
                              "\nFatal error. 3 members cannot be restored\n"})
        EXPECT_TRUE(Contiene(prueba.salida, parte)) << parte;
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), Nombres{"x.cmp"});
    EXPECT_EQ(Vuvodiv(carpeta, {"-tq", "x", "sincr.txt", "TRA_TXT"}).estado, 0);

    EscribeArchivo(carpeta / "x.cmp", Plano("a", 0, "abc") + Plano("b", 0, "defgh").substr(0, 25));
    for (const char* modo : {"-l", "-t"}) {
        auto r = Vuvodiv(carpeta, {modo, "x"});
        EXPECT_EQ(r.estado, 1) << modo;
        EXPECT_TRUE(Contiene(r.salida, "\nFatal error. Archive 'x.cmp' is truncated in member 'b'\n")) << modo;
    }
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), Nombres{"x.cmp"});

    // The archive's name in that message is escaped like every name, and a
    // member's name is text, not a format.
    EscribeArchivo(carpeta / "\x1b]0.cmp", Plano("%s%n", 0, "defgh").substr(0, 25));
    auto cortado = Vuvodiv(carpeta, {"-t", "\x1b]0"});
    EXPECT_EQ(cortado.estado, 1);
    EXPECT_TRUE(Contiene(cortado.salida, "Archive '\\x1b]0.cmp' is truncated in member '%s%n'")) << cortado.salida;
}

// Would catch: messages mixed into the data, bytes without their
// conversion, members out of archive order, unchosen members written,
// quiet runs that still print, a missing name that passes.
TEST(ModosVuvodiv, PipeChosenMembersAndQuiet)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", Mezcla());
    auto todo = Vuvodiv(carpeta, {"-p", "x", "bin.dat", "SINCR.TXT", "tra.txt"});
    EXPECT_EQ(todo.estado, 0);
    EXPECT_EQ(todo.salida, "a\nb\n\x9cx\r\x81");
    EXPECT_TRUE(Contiene(todo.errores, "File of compressed data: x.cmp\n"));
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), Nombres{"x.cmp"});
    // A fatal error after a member's line starts a line of its own.
    auto nada = Vuvodiv(carpeta, {"-p", "x", "tra.txt", "nada"});
    EXPECT_EQ(nada.estado, 1);
    EXPECT_TRUE(Contiene(nada.errores, std::string(20, 'o') + "  2\nnada  ")) << nada.errores;
    EXPECT_TRUE(Contiene(nada.errores, "\nVuvodiv: 1 name matched no member\n")) << nada.errores;

    const std::string texto = TextoDePrueba(30000, 5);   // LZH: its marks are drawn in blocks
    EscribeArchivo(carpeta / "t.txt", texto);
    EscribeArchivo(carpeta / "t.lst", "t_txt b\n");
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"t"}, carpeta.Ruta()).estado, 0);
    auto lzh = Vuvodiv(carpeta, {"-p", "t"});
    EXPECT_EQ(lzh.estado, 0);
    EXPECT_TRUE(lzh.salida == texto) << "the piped bytes differ";
    EXPECT_TRUE(Contiene(lzh.errores, std::string(20, 'o') + "  30000"));

    // Patterns choose as names do (case aside, '_' for '.'), and one that
    // matches nothing is reported like a name.
    auto patron = Vuvodiv(carpeta, {"-pq", "x", "S*_TXT", "[b]in.?at", "*.zip"});
    EXPECT_EQ(patron.estado, 1);
    EXPECT_EQ(patron.salida, "a\nb\n\r\x81");
    EXPECT_EQ(patron.errores, "Vuvodiv: *.zip: not in the archive\nVuvodiv: 1 name matched no member\n");

    auto falta = Vuvodiv(carpeta, {"-pq", "x", "tra.txt", "nada"});
    EXPECT_EQ(falta.estado, 1);
    EXPECT_EQ(falta.salida, "\x9cx");
    EXPECT_EQ(falta.errores, "Vuvodiv: nada: not in the archive\nVuvodiv: 1 name matched no member\n");

    auto silencio = Vuvodiv(carpeta, {"-q", "x"});
    EXPECT_EQ(silencio.estado, 1);
    EXPECT_EQ(silencio.salida, "");
    EXPECT_EQ(silencio.errores, "Vuvodiv: raro: not restored: unknown method 7\n"
                                "Vuvodiv: mal.txt: not restored: damaged data\n"
                                "Vuvodiv: ../fuera: not restored: unsafe name\nVuvodiv: 3 members not restored\n");
}

// Would catch: -d not creating its folder or resolving names against the
// working folder, names after BASE ignored, -n replacing a file or failing.
TEST(ModosVuvodiv, DirectoryChosenMembersNoOverwrite)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", Plano("a.txt", 1, "nuevo") + Plano("b.txt", 1, "bb") + Fin);
    auto r = Vuvodiv(carpeta, {"-d", "sal", "x", "A.TXT"});
    EXPECT_EQ(r.estado, 0);
    EXPECT_EQ(ListaCarpeta(carpeta / "sal"), Nombres{"a.txt"});
    EXPECT_EQ(Vuvodiv(carpeta, {"--", "x", "b.txt"}).estado, 0);
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), (Nombres{"b.txt", "sal", "x.cmp"}));

    EscribeArchivo(carpeta / "sal/a.txt", "viejo");
    auto n = Vuvodiv(carpeta, {"-n", "--directory=sal", "x"});
    EXPECT_EQ(n.estado, 0);
    EXPECT_TRUE(Contiene(n.salida, "\na.txt           skipped: the file exists"));
    EXPECT_EQ(LeeArchivo(carpeta / "sal/a.txt"), "viejo");
    EXPECT_EQ(LeeArchivo(carpeta / "sal/b.txt"), "bb");
}

// ---- Writes that must never happen ---------------------------------------------------
// Would catch: a member replacing the archive it comes from (under any
// spelling of its name), a file written through a link to a folder outside
// the target, a link as the last component written through.
TEST(SeguridadInterfaz, NeitherTheArchiveNorThroughALink)
{
    CarpetaTemporal carpeta;
    const std::string archivo = Plano("b.cmp", 1, "mal") + Plano("sub/x.txt", 1, "fuera") +
                                Plano("enlace", 1, "nuevo") + Fin;
    mkdir((carpeta / "w").c_str(), 0777);
    mkdir((carpeta / "fuera").c_str(), 0777);
    EscribeArchivo(carpeta / "w/b.cmp", archivo);
    EscribeArchivo(carpeta / "fuera/destino", "intacto");
    ASSERT_EQ(symlink("../fuera", (carpeta / "w/sub").c_str()), 0);
    ASSERT_EQ(symlink("../fuera/destino", (carpeta / "w/enlace").c_str()), 0);

    auto r = EjecutaPrograma(VUVODIV_BIN, {"b"}, carpeta / "w");
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(Contiene(r.salida, "\nb.cmp           not restored: it would replace the archive"));
    EXPECT_TRUE(Contiene(r.salida, "\nsub/x.txt       not restored: a folder of its name is a symbolic link"));
    EXPECT_EQ(LeeArchivo(carpeta / "w/b.cmp"), archivo);
    EXPECT_EQ(ListaCarpeta(carpeta / "fuera"), Nombres{"destino"});
    EXPECT_EQ(LeeArchivo(carpeta / "fuera/destino"), "intacto");
    EXPECT_EQ(LeeArchivo(carpeta / "w/enlace"), "nuevo");   // the link itself replaced

    auto d = Vuvodiv(carpeta, {"-d", "w", "w/b", "B.CMP"});   // the same archive reached from elsewhere
    EXPECT_EQ(d.estado, 1);
    EXPECT_EQ(LeeArchivo(carpeta / "w/b.cmp"), archivo);
}

// Would catch: a member in a missing folder stopping the run, a path
// blocked by a file or by a folder in the file's place stopping it too, and
// -d not making the folders above its own.
TEST(SeguridadInterfaz, MissingFoldersAreMadeBlockedPathsRefused)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", Plano("d/e/pw", 1, "uno") + Plano("f/y", 1, "dos") +
                                          Plano("x/services", 1, "tres") + Plano("z", 1, "cuatro") + Fin);
    mkdir((carpeta / "sal").c_str(), 0777);
    mkdir((carpeta / "sal/x").c_str(), 0777);
    mkdir((carpeta / "sal/x/services").c_str(), 0777);
    EscribeArchivo(carpeta / "sal/f", "un archivo");
    auto r = Vuvodiv(carpeta, {"-d", "sal", "x"});
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(LeeArchivo(carpeta / "sal/d/e/pw"), "uno");
    EXPECT_TRUE(Contiene(r.salida, "\nf/y             not restored: a file is in the way of its folder")) << r.salida;
    EXPECT_TRUE(Contiene(r.salida, "\nx/services      not restored: a folder of its name is in the way"));
    EXPECT_EQ(LeeArchivo(carpeta / "sal/z"), "cuatro");
    EXPECT_TRUE(Contiene(r.salida, "\nFatal error. 2 members not restored\n"));

    EXPECT_EQ(Vuvodiv(carpeta, {"-d", "nuevo/sub/dir", "x", "z"}).estado, 0);
    EXPECT_EQ(LeeArchivo(carpeta / "nuevo/sub/dir/z"), "cuatro");
}

// Would catch: the temporary file of a member in a subfolder looked for in
// the target folder when a write fails, and so left behind.
TEST(SeguridadInterfaz, FailedWriteInASubfolderLeavesNothing)
{
    CarpetaTemporal carpeta;
    mkdir((carpeta / "sal").c_str(), 0777);
    mkdir((carpeta / "sal/sub").c_str(), 0777);
    EscribeArchivo(carpeta / "x.cmp", Plano("sub/grande", 0, std::string(5000, 'x')) + Fin);
    auto r = EjecutaPrograma(VUVODIV_BIN, {"-d", "sal", "x"}, carpeta.Ruta(), 2048);
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(Contiene(r.salida, "\nFatal error. Can't write file 'sub/grande'\n"));
    EXPECT_EQ(ListaCarpeta(carpeta / "sal/sub"), Nombres{});
}

// ---- Everyday use: errors that say why, archives named as files, pipes ---------------
namespace {

// Runs orden under /bin/sh in the folder, with $0 the restorer and $1 the
// packer: for pipes and redirections as a user types them.
Resultado EnShell(const CarpetaTemporal& carpeta, const std::string& orden)
{
    return EjecutaPrograma("/bin/sh", {"-c", orden, VUVODIV_BIN, DEDEZODI_BIN}, carpeta.Ruta());
}

// Three files packed by Dedezodi as notas.cmp: LZH text, stored random
// bytes, a binary member.
void EmpaquetaNotas(const CarpetaTemporal& carpeta)
{
    EscribeArchivo(carpeta / "poema.txt", TextoDePrueba(40000, 11));
    EscribeArchivo(carpeta / "ruido.bin", DatosAleatorios(9000, 12));
    EscribeArchivo(carpeta / "corto.txt", "hola\r\n");
    EscribeArchivo(carpeta / "notas.lst", "poema_txt\nruido_bin b\ncorto_txt\n");
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"-q", "notas"}, carpeta.Ruta()).estado, 0);
}

}  // namespace

// Would catch: a fatal error seen nowhere when standard output is sent
// away, the reason lost (or a stale one), the specified line changed, the
// line shown twice when both streams are one file, a blank line in the
// quiet form.
TEST(ErroresConMotivo, TheSameErrorOnStandardErrorWithTheReason)
{
    CarpetaTemporal carpeta;
    auto falta = Vuvodiv(carpeta, {"missing"});
    EXPECT_EQ(falta.estado, 1);
    EXPECT_EQ(falta.salida.substr(falta.salida.find("\nFile")),
              "\nFile of compressed data: missing.cmp\n\nFatal error. Can't open file 'missing.cmp'\n");
    EXPECT_EQ(falta.errores, "Vuvodiv: can't open 'missing.cmp': No such file or directory\n");

    auto junto = EnShell(carpeta, "exec \"$0\" missing 2>&1");
    EXPECT_EQ(junto.estado, 1);
    EXPECT_EQ(junto.salida, falta.salida);

    auto quieto = Vuvodiv(carpeta, {"-q", "missing"});
    EXPECT_EQ(quieto.salida, "");
    EXPECT_EQ(quieto.errores, falta.errores);

    auto largo = Vuvodiv(carpeta, {"abcdefghi"});
    EXPECT_EQ(largo.errores, "Vuvodiv: name too long: abcdefghi (at most 8 characters)\n");

    EscribeArchivo(carpeta / "f", "un archivo");
    EscribeArchivo(carpeta / "x.cmp", Plano("a", 1, "aa") + Fin);
    auto carpetaMala = Vuvodiv(carpeta, {"-d", "f/sub", "x"});
    EXPECT_EQ(carpetaMala.estado, 1);
    EXPECT_TRUE(Contiene(carpetaMala.salida, "\nFatal error. Can't create folder 'f/sub'\n"));
    EXPECT_EQ(carpetaMala.errores, "Vuvodiv: can't create folder 'f/sub': Not a directory\n");
}

// Would catch: the extended call not reading an archive named by its file,
// the limit applied to the name with its suffix, the file preferred to the
// archive its base names, and the call without options changed on standard
// output or left without its way out.
TEST(ArchivoPorNombre, NamedByItsFileWithOptionsAndAWayOutWithout)
{
    CarpetaTemporal carpeta;
    EmpaquetaNotas(carpeta);
    auto lista = Vuvodiv(carpeta, {"-l", "notas.cmp"});
    EXPECT_EQ(lista.estado, 0);
    EXPECT_TRUE(Contiene(lista.salida, "File of compressed data: notas.cmp\n"));
    EXPECT_TRUE(Contiene(lista.salida, "\n3 members  ")) << lista.salida;

    auto sola = Vuvodiv(carpeta, {"notas.cmp"});
    EXPECT_EQ(sola.estado, 1);
    EXPECT_EQ(sola.salida.substr(sola.salida.find("\nFatal")), "\nFatal error. Name too long: notas.cmp\n");
    EXPECT_EQ(sola.errores, "Vuvodiv: name too long: notas.cmp (at most 8 characters)\n"
                            "Vuvodiv: 'notas.cmp' is the archive itself: call Vuvodiv notas\n");

    rename((carpeta / "notas.cmp").c_str(), (carpeta / "REAL.CMP").c_str());
    auto ocho = Vuvodiv(carpeta, {"REAL.CMP"});   // within the limit: the base's own error
    EXPECT_EQ(ocho.salida.substr(ocho.salida.find("\nFatal")), "\nFatal error. Can't open file 'REAL.CMP.cmp'\n");
    EXPECT_TRUE(Contiene(ocho.errores, "Vuvodiv: 'REAL.CMP' is the archive itself: call Vuvodiv -- REAL.CMP\n"));
    EXPECT_EQ(Vuvodiv(carpeta, {"-tq", "REAL.CMP"}).estado, 0);

    EscribeArchivo(carpeta / "REAL.CMP.cmp", Plano("otro", 1, "x") + Fin);   // the base's archive wins
    EXPECT_EQ(Vuvodiv(carpeta, {"-lq", "REAL.CMP"}).salida,
              "otro            text        stored               1           1   100%\n");
    EscribeArchivo(carpeta / "largonombre.cmp", Fin);
    EXPECT_EQ(Vuvodiv(carpeta, {"-l", "largonombre.cmp"}).estado, 1);
}

// Would catch: "-" taken as a base, a pipe read out of order or by
// threads, a mode that cannot read from a pipe, a cut pipe passing.
TEST(ArchivoPorTuberia, EveryModeReadsStandardInput)
{
    CarpetaTemporal carpeta;
    EmpaquetaNotas(carpeta);
    auto lista = EnShell(carpeta, "cat notas.cmp | \"$0\" -lq -");
    EXPECT_EQ(lista.estado, 0);
    EXPECT_EQ(lista.salida, Vuvodiv(carpeta, {"-lq", "notas"}).salida);
    EXPECT_EQ(std::count(lista.salida.begin(), lista.salida.end(), '\n'), 3);

    auto prueba = EnShell(carpeta, "cat notas.cmp | \"$0\" -t -j 3 -");
    EXPECT_EQ(prueba.estado, 0);
    auto archivo = Vuvodiv(carpeta, {"-t", "notas"});
    EXPECT_EQ(prueba.salida.substr(prueba.salida.find("\npoema")), archivo.salida.substr(archivo.salida.find("\npoema")));
    EXPECT_TRUE(Contiene(prueba.salida, "File of compressed data: (standard input)\n"));

    auto tubo = EnShell(carpeta, "cat notas.cmp | \"$0\" -pq - 'c*'");
    EXPECT_EQ(tubo.salida, "hola\r\n");

    auto restaura = EnShell(carpeta, "cat notas.cmp | \"$0\" -q -j 2 -d out/sub - '*.TXT'");
    EXPECT_EQ(restaura.estado, 0);
    EXPECT_EQ(ListaCarpeta(carpeta / "out/sub"), (Nombres{"corto.txt", "poema.txt"}));
    EXPECT_EQ(LeeArchivo(carpeta / "out/sub/poema.txt"), LeeArchivo(carpeta / "poema.txt"));

    auto cortado = EnShell(carpeta, "head -c 3000 notas.cmp | \"$0\" -q -d cut -");
    EXPECT_EQ(cortado.estado, 1);
    EXPECT_EQ(cortado.errores, "Vuvodiv: archive '(standard input)' is truncated in member 'poema.txt'\n");
    EXPECT_FALSE(ExisteArchivo(carpeta / "cut/poema.txt"));
}

// Would catch: a header or totals line in the listing for scripts, a
// column of two words, an unknown method that is not one word, names of
// several bytes per character padded by bytes.
TEST(ListadoScripts, OneLinePerMemberOneWordColumnsAlignedNames)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", Plano("sincr.txt", 2, "a\r\n") + Plano("tra.txt", 3, "`") +
                                          Plano("a\xc3\xb1o.txt", 0, "b") + Plano("\xe6\x97\xa5\xe6\x9c\xac.txt", 5, "c") +
                                          Cabecera("raro", 1, 9, 4, 0) + Fin);
    auto r = Vuvodiv(carpeta, {"-lq", "x"});
    EXPECT_EQ(r.estado, 1);   // the unknown method
    EXPECT_EQ(r.salida, "sincr.txt       text-nocr   stored               3           3   100%\n"
                        "tra.txt         translated  stored               1           1   100%\n"
                        "a\xc3\xb1o.txt         binary      stored               1           1   100%\n"
                        "\xe6\x97\xa5\xe6\x9c\xac.txt        5           stored               1           1   100%\n"
                        "raro            text        method-9             4           0     0%\n");
    auto campos = EnShell(carpeta, "\"$0\" -lq x | awk '{print $2}'");
    EXPECT_EQ(campos.salida, "text-nocr\ntranslated\nbinary\n5\ntext\n");
    auto lista = Vuvodiv(carpeta, {"-l", "x"});
    EXPECT_TRUE(Contiene(lista.salida, "\nName            Type        Method        Original      Packed  Ratio\n"));
    EXPECT_TRUE(Contiene(lista.salida, "\n5 members  "));
}

// Would catch: the usage text changed or its status, the hint missing for
// several arguments or shown for none.
TEST(PistaUso, SeveralArgumentsWithoutOptionsGetAHint)
{
    CarpetaTemporal carpeta;
    auto nada = Vuvodiv(carpeta, {});
    auto varios = Vuvodiv(carpeta, {"notas", "poema.txt"});
    EXPECT_EQ(varios.estado, 0);
    EXPECT_EQ(varios.salida, nada.salida);
    EXPECT_EQ(nada.errores, "");
    EXPECT_EQ(varios.errores, "Vuvodiv: to restore only some members, call Vuvodiv -- BASE NAME...\n");
}

// ---- Dedezodi: packing without a list, errors that name the list line ----------------
namespace {

Resultado Dedezodi(const CarpetaTemporal& carpeta, const Args& args)
{
    return EjecutaPrograma(DEDEZODI_BIN, args, carpeta.Ruta());
}

}  // namespace

// Would catch: named files looked up with '_' read as '.', stored under a
// name no reader restores, packed out of order, a type other than a list
// line's, -b ignored, -T splitting names at blanks or missing standard
// input, a line that hides the stored name.
TEST(EmpaquetaSinLista, NamedFilesInOrderReadLiterally)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "a_b.txt", "uno\r\n");
    EscribeArchivo(carpeta / "c.txt", TextoDePrueba(3000, 4));
    EscribeArchivo(carpeta / "con blanco", "tres");
    auto r = Dedezodi(carpeta, {"--", "x", "c.txt", "a_b.txt"});
    EXPECT_EQ(r.estado, 0);
    EXPECT_TRUE(Contiene(r.salida, "\nNumber of files: 2\n"));
    EXPECT_TRUE(Contiene(r.salida, "  " + std::string(20, 'o') + "  stored as a.b.txt")) << r.salida;
    auto lista = Vuvodiv(carpeta, {"-lq", "x"});
    EXPECT_EQ(lista.salida.substr(0, 28), "c.txt           text        ");
    EXPECT_EQ(lista.salida.substr(lista.salida.find('\n') + 1, 50),
              "a.b.txt         text        stored               5");

    EscribeArchivo(carpeta / "nombres", "con blanco\n\nc.txt\n");
    auto t = EnShell(carpeta, "cat nombres | \"$1\" -qb -T - y a_b.txt");
    EXPECT_EQ(t.estado, 0) << t.errores;
    EXPECT_EQ(t.salida + t.errores, "");
    EXPECT_EQ(EnShell(carpeta, "\"$0\" -lq y | awk '{print $1 \"/\" $2}'").salida,
              "a.b.txt/binary\ncon/blanco\nc.txt/binary\n");   // the name with its blank is one member

    mkdir((carpeta / "sal").c_str(), 0777);
    ASSERT_EQ(EjecutaPrograma(VUVODIV_BIN, {"-q", "../y"}, carpeta / "sal").estado, 0);
    EXPECT_EQ(LeeArchivo(carpeta / "sal/a.b.txt"), "uno\r\n");
    EXPECT_EQ(LeeArchivo(carpeta / "sal/con blanco"), "tres");

    auto b = Dedezodi(carpeta, {"-b", "z"});
    EXPECT_EQ(b.estado, 1);
    EXPECT_TRUE(Contiene(b.errores, "-b applies only to files named without a list"));
}

// Would catch: named files escaping the limits and checks of a list, a
// partial archive left by a refused name, a line number that counts the
// pieces of a long line, a reason or limit missing on standard error.
TEST(EmpaquetaSinLista, SameLimitsAndMessagesAsAListWithTheLine)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "c.txt", "c");
    auto largo = Dedezodi(carpeta, {"--", "x", "c.txt", "trece_letras1"});
    EXPECT_EQ(largo.estado, 1);
    EXPECT_TRUE(Contiene(largo.salida, "\nFatal error. Name too long: trece_letras1\n"));
    EXPECT_EQ(largo.errores, "Dedezodi: name too long: trece_letras1 (at most 12 characters)\n");
    auto inseguro = Dedezodi(carpeta, {"-q", "x", "../c.txt"});
    EXPECT_EQ(inseguro.errores, "Dedezodi: unsafe name: ../c.txt\n");

    std::string muchos;
    for (int i = 0; i <= 300; ++i)
        muchos += "c.txt\n";
    EscribeArchivo(carpeta / "muchos", muchos);
    auto demasiados = Dedezodi(carpeta, {"-T", "muchos", "x"});
    EXPECT_TRUE(Contiene(demasiados.salida, "\nFatal error. Too many files\n"));
    EXPECT_EQ(demasiados.errores, "Dedezodi: muchos line 301: too many files (at most 300)\n");
    EXPECT_FALSE(ExisteArchivo(carpeta / "x.cmp"));

    // A comment longer than a piece of 80 is still one line.
    mkdir((carpeta / "d").c_str(), 0777);
    EscribeArchivo(carpeta / "n.lst", "*" + std::string(90, ' ') + "\nc_txt\nnada_txt\n");
    auto falta = Dedezodi(carpeta, {"n"});
    EXPECT_EQ(falta.salida.substr(falta.salida.find("\nFatal")), "\nFatal error. Can't open file 'nada.txt'\n");
    EXPECT_EQ(falta.errores, "Dedezodi: n.lst line 3: can't open 'nada.txt': No such file or directory\n");
    EscribeArchivo(carpeta / "n.lst", "c_txt\nd b\n");
    EXPECT_EQ(Dedezodi(carpeta, {"n"}).errores, "Dedezodi: n.lst line 2: can't read 'd': Is a directory\n");
    EXPECT_FALSE(ExisteArchivo(carpeta / "n.cmp"));
}

// Would catch: the list not read by its own file name with options, the
// archive not written beside it, the call without options changed or left
// without its way out, the usage text without its hint.
TEST(EmpaquetaSinLista, ListNamedByItsFileAndTheHints)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "c.txt", "c");
    EscribeArchivo(carpeta / "notas.lst", "c_txt\n");
    auto sola = Dedezodi(carpeta, {"notas.lst"});
    EXPECT_EQ(sola.salida.substr(sola.salida.find("\nFatal")), "\nFatal error. Name too long: notas.lst\n");
    EXPECT_EQ(sola.errores, "Dedezodi: name too long: notas.lst (at most 8 characters)\n"
                            "Dedezodi: 'notas.lst' is the list itself: call Dedezodi notas\n");
    EXPECT_EQ(Dedezodi(carpeta, {"-q", "notas.lst"}).estado, 0);
    EXPECT_EQ(Vuvodiv(carpeta, {"-lq", "notas"}).salida,
              "c.txt           text        stored               1           1   100%\n");

    auto nada = Dedezodi(carpeta, {});
    auto varios = Dedezodi(carpeta, {"notas", "c.txt"});
    EXPECT_EQ(varios.estado, 0);
    EXPECT_EQ(varios.salida, nada.salida);
    EXPECT_EQ(varios.errores, "Dedezodi: to pack named files without a list, call Dedezodi -- BASE FILE...\n");
}
