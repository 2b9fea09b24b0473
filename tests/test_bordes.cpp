// The edges of the process: sizes near 4 GiB, closed standard streams,
// signals, files that are not what they seem, and names that could drive the
// terminal.  Each group would catch a fault that lost data, left files
// behind or misled the user.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "ayuda.h"
#include "dedezodi.h"
#include "vuvodiv.h"

namespace {

const std::string Fin(22, '\0');

// How a program is started, beyond EjecutaPrograma's plain run.
struct Arranque {
    std::vector<int> cerrados;    // descriptors closed before exec
    int ignorada = 0;             // a signal set to be ignored, as nohup does
    size_t sitio = 0;             // > 0: output on a one-page pipe with this much room
    const char* salida = nullptr; // a file to take standard output instead of the pipe
};

struct Proceso {
    pid_t pid;
    int lectura;                  // our end of its output pipe
};

Proceso Lanza(const std::string& programa, const std::vector<std::string>& args,
              const std::string& carpeta, const Arranque& arranque)
{
    int tubo[2];
    if (pipe(tubo) != 0)
        throw std::runtime_error("pipe failed");
    if (arranque.sitio > 0) {
        // One page, already full but for `sitio` bytes: the program blocks in
        // its first write past them.
        long pagina = fcntl(tubo[1], F_SETPIPE_SZ, 4096);
        std::string relleno(static_cast<size_t>(pagina) - arranque.sitio, '#');
        if (write(tubo[1], relleno.data(), relleno.size()) != static_cast<ssize_t>(relleno.size()))
            throw std::runtime_error("cannot fill the pipe");
    }
    pid_t hijo = fork();
    if (hijo == 0) {
        alarm(20);   // a program that hangs fails the test instead of the run
        const rlimit sinVolcado{0, 0};   // a signal that dumps core leaves no core file
        setrlimit(RLIMIT_CORE, &sinVolcado);
        if (arranque.ignorada)
            signal(arranque.ignorada, SIG_IGN);
        dup2(tubo[1], STDOUT_FILENO);
        close(tubo[0]);
        close(tubo[1]);
        if (arranque.salida)
            dup2(open(arranque.salida, O_WRONLY), STDOUT_FILENO);
        for (int fd : arranque.cerrados)
            close(fd);
        EjecutaEnCarpeta(programa, args, carpeta);
    }
    close(tubo[1]);
    return {hijo, tubo[0]};
}

// Reads the rest of the output (if our end is still open) and waits.
Resultado Espera(Proceso proceso)
{
    Resultado resultado{-1, {}};
    char bloque[4096];
    ssize_t leidos;
    while (proceso.lectura >= 0 && (leidos = read(proceso.lectura, bloque, sizeof bloque)) > 0)
        resultado.salida.append(bloque, static_cast<size_t>(leidos));
    if (proceso.lectura >= 0)
        close(proceso.lectura);
    int estado = 0;
    waitpid(proceso.pid, &estado, 0);
    resultado.estado = WIFEXITED(estado) ? WEXITSTATUS(estado) : 128 + WTERMSIG(estado);
    return resultado;
}

// Waits until a temporary file "<prefijo>XXXXXX" exists in carpeta.
bool AparecenTemporal(const std::string& carpeta, const std::string& prefijo)
{
    for (int intento = 0; intento < 2000; ++intento) {
        for (const auto& nombre : ListaCarpeta(carpeta))
            if (nombre.size() == prefijo.size() + 6 && nombre.compare(0, prefijo.size(), prefijo) == 0)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Waits until the program has filled its output pipe: it is then held in
// its next write.
bool LlenaTubo(const Proceso& proceso)
{
    for (int intento = 0; intento < 2000; ++intento) {
        int pendientes = 0;
        if (ioctl(proceso.lectura, FIONREAD, &pendientes) == 0 &&
            pendientes == fcntl(proceso.lectura, F_GETPIPE_SZ))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Console bytes a run prints up to the end of `ultimaLinea`.
size_t SalidaAntesDelPrimerMiembro(const std::string& programa, const std::string& carpeta,
                                   const std::string& ultimaLinea)
{
    auto r = EjecutaPrograma(programa, {"x"}, carpeta);
    size_t fin = r.salida.find(ultimaLinea);
    if (fin == std::string::npos)
        throw std::runtime_error("unexpected output: " + r.salida);
    return fin + ultimaLinea.size();
}

// A list of one text file "a" in carpeta, and how to start Dedezodi on it so
// that it is held in the write of its first member line, its temporary
// archive already made.  *archivo receives the archive a full run makes.
Arranque RetieneEnElPrimerMiembro(const CarpetaTemporal& carpeta, std::string* archivo = nullptr)
{
    EscribeArchivo(carpeta / "a", TextoDePrueba(5000, 2));
    EscribeArchivo(carpeta / "x.lst", "a\n");
    Arranque arranque;
    arranque.sitio = SalidaAntesDelPrimerMiembro(DEDEZODI_BIN, carpeta.Ruta(), "Number of files: 1\n");
    if (archivo)
        *archivo = LeeArchivo(carpeta / "x.cmp");
    unlink((carpeta / "x.cmp").c_str());
    return arranque;
}

mode_t Permisos(const std::string& ruta)
{
    struct stat datos;
    return stat(ruta.c_str(), &datos) == 0 ? datos.st_mode & 07777 : 0;
}

}  // namespace

// ---- Counters near 4 GiB ---------------------------------------------------------
// Driven through the counters themselves, as if nearly 4 GiB had gone before.

// An LZH attempt that grows past 4 GiB must not wrap into "smaller".
TEST(Cuatro_GiB, AttemptCrossing4GiBIsNotSmaller)
{
    using namespace dedezodi;
    const std::string datos = DatosAleatorios(4000, 11);
    EntradaMiembro = tmpfile();
    fwrite(datos.data(), 1, datos.size(), EntradaMiembro);
    Salida = fopen("/dev/null", "wb");
    EmpiezaPasada();
    OctetosLeidos = 0xFFFFF038u;            // the attempt's input ends 40 bytes under 4 GiB
    OctetosComprimidos = 0xFFFFF038u;       // ... and its output, a little longer, past it
    EXPECT_EQ(DedezodiLZH(), 0);
    EXPECT_GT(OctetosComprimidos, 0xFFFFFFFFull);
    fclose(EntradaMiembro);
    fclose(Salida);
}

// The byte after 4 GiB - 1 stops the run: the size fields cannot hold it.
TEST(Cuatro_GiB, ByteBeyondTheSizeFieldIsRefused)
{
    using namespace dedezodi;
    EXPECT_EXIT(
        {
            EntradaMiembro = tmpfile();
            fputs("ab", EntradaMiembro);
            EmpiezaPasada();
            OctetosLeidos = 0xFFFFFFFEu;
            uint8_t octeto;
            if (LeeOctetoPlano(&octeto))
                LeeOctetoPlano(&octeto);
        },
        testing::ExitedWithCode(1), "");   // "File too large", on standard output
}

// A copy near the end of a member of almost 4 GiB is valid; the check for
// unwritten window bytes applies only to a member's first bytes.
TEST(Cuatro_GiB, LateCopyInAHugeMemberIsValid)
{
    using namespace vuvodiv;
    constexpr uint32_t tamano = 0xFFFFFFFFu;
    EXPECT_TRUE(EsCopiaValida(4095, 60, 0xFFFFF000u, tamano));
    EXPECT_TRUE(EsCopiaValida(4035, 60, 0xFFFFFFC3u, tamano));    // ends exactly at the size
    EXPECT_FALSE(EsCopiaValida(4035, 61, 0xFFFFFFC3u, tamano));   // one byte past it
    EXPECT_FALSE(EsCopiaValida(InicioEscritura, 3, 0, tamano));   // unwritten at the start
    EXPECT_TRUE(EsCopiaValida(InicioEscritura - 1, 3, 0, tamano));
}

// ---- Standard streams ---------------------------------------------------------------

// With standard output (and input) closed, nothing the programs print may
// land in the archive or a restored file.
TEST(Flujos, ClosedStandardStreamsDoNotReceiveFiles)
{
    CarpetaTemporal normal, cerrada;
    const std::string texto = TextoDePrueba(3000, 4);
    for (const auto* carpeta : {&normal, &cerrada}) {
        EscribeArchivo(*carpeta / "t.txt", texto);
        EscribeArchivo(*carpeta / "x.lst", "t_txt\n");
    }
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"x"}, normal.Ruta()).estado, 0);
    auto r = Espera(Lanza(DEDEZODI_BIN, {"x"}, cerrada.Ruta(), {{STDOUT_FILENO}}));
    EXPECT_EQ(r.estado, 0);
    EXPECT_EQ(LeeArchivo(cerrada / "x.cmp"), LeeArchivo(normal / "x.cmp"));

    unlink((cerrada / "t.txt").c_str());
    r = Espera(Lanza(VUVODIV_BIN, {"x"}, cerrada.Ruta(), {{STDIN_FILENO, STDOUT_FILENO}}));
    EXPECT_EQ(r.estado, 0);
    EXPECT_EQ(LeeArchivo(cerrada / "t.txt"), texto);
}

// With -l and -p standard output is the product: closed or full, the run
// fails instead of reporting success with the listing or the data gone.
TEST(Flujos, ListingOrDataThatCannotReachStandardOutputFails)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "t.txt", TextoDePrueba(3000, 4));
    EscribeArchivo(carpeta / "x.lst", "t_txt\n");
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    for (const char* modo : {"-lq", "-pq", "-l", "-p"}) {
        Arranque llena;
        llena.salida = "/dev/full";
        EXPECT_EQ(Espera(Lanza(VUVODIV_BIN, {modo, "x"}, carpeta.Ruta(), llena)).estado, 1) << modo;
        EXPECT_EQ(Espera(Lanza(VUVODIV_BIN, {modo, "x"}, carpeta.Ruta(), {{STDOUT_FILENO}})).estado, 1) << modo;
    }
    EXPECT_EQ(Espera(Lanza(VUVODIV_BIN, {"-lq", "x"}, carpeta.Ruta(), {})).estado, 0);
}

// An archive cut short by another process while salvage reads it through
// a map is a read error (status 1, its message), not a crash, and leaves no
// temporary file.
TEST(Flujos, ArchiveCutShortUnderSalvageIsAReadError)
{
    CarpetaTemporal carpeta;
    std::string lista;
    for (int i = 0; i < 40; ++i) {
        const std::string nombre = "m" + std::to_string(i);
        EscribeArchivo(carpeta / nombre, DatosAleatorios(100000, static_cast<uint32_t>(i)));
        lista += nombre + " b\n";
    }
    EscribeArchivo(carpeta / "x.lst", lista);
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"-q", "x"}, carpeta.Ruta()).estado, 0);
    Arranque arranque;   // held in the first member's line, written once m0 is restored
    arranque.sitio = SalidaAntesDelPrimerMiembro(VUVODIV_BIN, carpeta.Ruta(), "x.cmp\n");
    Proceso proceso = Lanza(VUVODIV_BIN, {"-s", "-d", "out", "x"}, carpeta.Ruta(), arranque);
    ASSERT_TRUE(LlenaTubo(proceso));
    for (int intento = 0; intento < 2000 && !ExisteArchivo(carpeta / "out/m0"); ++intento)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(truncate((carpeta / "x.cmp").c_str(), 1000), 0);
    auto r = Espera(proceso);
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("\nFatal error. Can't read file 'x.cmp'\n"), std::string::npos) << r.salida;
    EXPECT_EQ(ListaCarpeta(carpeta / "out"), std::vector<std::string>{"m0"});
}

// ---- Signals ---------------------------------------------------------------------------
// The programs are held in a console write (a pipe with no room) once their
// temporary file exists, then signalled.

// A signal the caller ignores (nohup, a background job) stays ignored.
TEST(Senales, IgnoredHangupIsStillIgnored)
{
    CarpetaTemporal carpeta;
    Arranque arranque = RetieneEnElPrimerMiembro(carpeta);
    arranque.ignorada = SIGHUP;
    Proceso proceso = Lanza(DEDEZODI_BIN, {"x"}, carpeta.Ruta(), arranque);
    ASSERT_TRUE(AparecenTemporal(carpeta.Ruta(), "x.cmp."));
    kill(proceso.pid, SIGHUP);
    auto r = Espera(proceso);
    EXPECT_EQ(r.estado, 0);
    EXPECT_TRUE(ExisteArchivo(carpeta / "x.cmp"));
}

// A reader that goes away (a pipe into head) ends the run without leaving a
// temporary archive or a temporary member file behind.
TEST(Senales, BrokenPipeRemovesTheTemporaryFile)
{
    CarpetaTemporal carpeta;
    std::string archivo;
    Arranque arranque = RetieneEnElPrimerMiembro(carpeta, &archivo);
    Proceso proceso = Lanza(DEDEZODI_BIN, {"x"}, carpeta.Ruta(), arranque);
    ASSERT_TRUE(AparecenTemporal(carpeta.Ruta(), "x.cmp."));
    close(proceso.lectura);
    proceso.lectura = -1;
    EXPECT_EQ(Espera(proceso).estado, 128 + SIGPIPE);
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), (std::vector<std::string>{"a", "x.lst"}));

    EscribeArchivo(carpeta / "x.cmp", archivo);
    unlink((carpeta / "a").c_str());
    arranque.sitio = SalidaAntesDelPrimerMiembro(VUVODIV_BIN, carpeta.Ruta(), "x.cmp\n");
    unlink((carpeta / "a").c_str());
    proceso = Lanza(VUVODIV_BIN, {"x"}, carpeta.Ruta(), arranque);
    ASSERT_TRUE(AparecenTemporal(carpeta.Ruta(), "a."));
    close(proceso.lectura);
    proceso.lectura = -1;
    EXPECT_EQ(Espera(proceso).estado, 128 + SIGPIPE);
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), (std::vector<std::string>{"x.cmp", "x.lst"}));
}

// Every signal whose default action ends the process takes the temporary
// archive with it and then ends the run by that signal; SIGXFSZ, ignored so
// that a size limit is reported as a write error, lets the run finish.
TEST(Senales, EveryEndingSignalRemovesTheTemporaryFile)
{
    CarpetaTemporal carpeta;
    const Arranque arranque = RetieneEnElPrimerMiembro(carpeta);
    for (int senal : {SIGQUIT, SIGXCPU, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGRTMIN + 2, SIGXFSZ}) {
        Proceso proceso = Lanza(DEDEZODI_BIN, {"x"}, carpeta.Ruta(), arranque);
        ASSERT_TRUE(AparecenTemporal(carpeta.Ruta(), "x.cmp."));
        kill(proceso.pid, senal);
        EXPECT_EQ(Espera(proceso).estado, senal == SIGXFSZ ? 0 : 128 + senal) << strsignal(senal);
        unlink((carpeta / "x.cmp").c_str());
        EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), (std::vector<std::string>{"a", "x.lst"})) << strsignal(senal);
    }
}

// An interrupt at any moment, also while the temporary archive is being
// created, leaves no temporary file behind.  The signals land at random
// points of short runs; a window left open is hit now and then, never a
// closed one.
TEST(Senales, InterruptAtAnyMomentLeavesNoTemporaryFile)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "a", TextoDePrueba(3000, 6));
    EscribeArchivo(carpeta / "x.lst", "a\n");
    const auto inicio = std::chrono::steady_clock::now();
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    const auto duracion = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - inicio).count();
    uint32_t azar = 12345;
    for (int vez = 0; vez < 300; ++vez) {
        Proceso proceso = Lanza(DEDEZODI_BIN, {"x"}, carpeta.Ruta(), {});
        azar = azar * 1103515245u + 12345u;
        std::this_thread::sleep_for(std::chrono::microseconds((azar >> 8) % (duracion + 1)));
        kill(proceso.pid, SIGTERM);
        Espera(proceso);
    }
    for (const auto& nombre : ListaCarpeta(carpeta.Ruta()))
        EXPECT_EQ(nombre.find("x.cmp."), std::string::npos) << nombre;
}

// ---- Files that are not what they seem -------------------------------------------------

// A FIFO is refused at once instead of blocking the run; a file that reports
// size 0 but has content (under /proc) is packed whole.
TEST(Entradas, FifoIsRefusedAndProcFileIsReadToItsEnd)
{
    CarpetaTemporal carpeta;
    ASSERT_EQ(mkfifo((carpeta / "tubo").c_str(), 0644), 0);
    EscribeArchivo(carpeta / "x.lst", "tubo\n");
    auto r = Espera(Lanza(DEDEZODI_BIN, {"x"}, carpeta.Ruta(), {}));
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("\nFatal error. Can't read file 'tubo'\n"), std::string::npos);

    const std::string version = LeeArchivo("/proc/version");
    ASSERT_FALSE(version.empty());
    ASSERT_EQ(symlink("/proc/version", (carpeta / "version").c_str()), 0);
    EscribeArchivo(carpeta / "x.lst", "version\n");
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    unlink((carpeta / "version").c_str());
    ASSERT_EQ(EjecutaPrograma(VUVODIV_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    EXPECT_EQ(LeeArchivo(carpeta / "version"), version);
}

// A file that grows after the compressed attempt, before its stored copy
// (held at the start of the second bar), stops the run instead of packing
// bytes that the header does not describe.
TEST(Entradas, FileThatChangesBetweenTheTwoReadingsIsRefused)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "ruido", DatosAleatorios(50000, 9));   // stored: read twice
    EscribeArchivo(carpeta / "x.lst", "ruido b\n");
    Arranque arranque;
    arranque.sitio = SalidaAntesDelPrimerMiembro(DEDEZODI_BIN, carpeta.Ruta(), std::string(20, 'o'));
    const std::string anterior = LeeArchivo(carpeta / "x.cmp");
    Proceso proceso = Lanza(DEDEZODI_BIN, {"x"}, carpeta.Ruta(), arranque);
    ASSERT_TRUE(AparecenTemporal(carpeta.Ruta(), "x.cmp."));
    ASSERT_TRUE(LlenaTubo(proceso));   // the first reading is over
    EscribeArchivo(carpeta / "ruido", DatosAleatorios(50001, 9));
    auto r = Espera(proceso);
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("\nFatal error. Can't read file 'ruido'\n"), std::string::npos);
    EXPECT_EQ(LeeArchivo(carpeta / "x.cmp"), anterior);
}

// ---- Names -------------------------------------------------------------------------------

// Printable UTF-8 is shown as it is; controls (C0, DEL, C1) and invalid
// sequences byte by byte as \xNN.
TEST(Nombres, EscapesControlsAndInvalidUtf8)
{
    const std::pair<const char*, const char*> casos[] = {
        {"a\xC2\x9B" "8m.txt", "a\\xc2\\x9b8m.txt"},   // UTF-8 control sequence introducer
        {"\x9B" "1", "\\x9b1"},                        // the raw C1 byte
        {"ni\xC3\xB1o\xE2\x82\xAC", "ni\xC3\xB1o\xE2\x82\xAC"},
        {"\x1B[2J\x7F", "\\x1b[2J\\x7f"},
        {"\xC0\x80\xED\xA0\x80", "\\xc0\\x80\\xed\\xa0\\x80"},   // overlong, surrogate
        {"\xE2\x82", "\\xe2\\x82"},                    // cut short by the end
    };
    for (auto [nombre, visible] : casos) {
        char destino[TamNombreVisible * 2];
        EscapaNombre(nombre, destino);
        EXPECT_STREQ(destino, visible);
    }
}

// The columns of an escaped name: one per character of any length, two for
// a wide one, none for a combining mark, one per byte of an escape.
TEST(Nombres, VisibleWidthCountsColumnsNotBytes)
{
    const std::pair<const char*, int> casos[] = {
        {"ni\xC3\xB1o", 4}, {"\xE6\x97\xA5\xE6\x9C\xAC.txt", 8}, {"e\xCC\x81", 1},
        {"\xF0\x9F\x98\x80x", 3}, {"\\x9b1", 5},
    };
    for (auto [visible, columnas] : casos)
        EXPECT_EQ(AnchoVisible(visible), columnas) << visible;
}

// Dedezodi refuses names Vuvodiv would refuse, before anything is written,
// and shows every name escaped; "Name too long" quotes the whole argument.
TEST(Nombres, DedezodiRefusesUnsafeNamesAndEscapesTheRest)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", "older");
    for (const char* nombre : {"../up.txt", "/etc/hosts", "a\x1b" "b"}) {
        EscribeArchivo(carpeta / "x.lst", std::string(nombre) + "\n");
        auto r = EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta());
        EXPECT_EQ(r.estado, 1) << nombre;
        char visible[64];
        EscapaNombre(nombre, visible);
        EXPECT_NE(r.salida.find("\nFatal error. Unsafe name: " + std::string(visible) + "\n"),
                  std::string::npos) << r.salida;
        EXPECT_EQ(LeeArchivo(carpeta / "x.cmp"), "older");
    }

    EscribeArchivo(carpeta / "a\xC2\x9B", "data");
    EscribeArchivo(carpeta / "x.lst", "a\xC2\x9B\n");
    auto r = EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta());
    EXPECT_EQ(r.estado, 0);
    EXPECT_NE(r.salida.find("\na\\xc2\\x9b   "), std::string::npos);
    EXPECT_EQ(r.salida.find("\xC2\x9B"), std::string::npos);

    const std::string largo(300, 'n');
    r = EjecutaPrograma(DEDEZODI_BIN, {largo}, carpeta.Ruta());
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("\nFatal error. Name too long: " + largo + "\n"), std::string::npos);
}

// ---- Stored members and permissions ----------------------------------------------------------

// A stored member whose sizes disagree is damaged: not restored, its data
// passed over, the next member restored, and never more than 20 marks.
TEST(Almacenados, SizesThatDisagreeAreDamage)
{
    CarpetaTemporal carpeta;
    const std::string datos = DatosAleatorios(100000, 3);
    EscribeArchivo(carpeta / "x.cmp", Cabecera("largo", 0, 0, 0, 100000) + datos +
                                          Cabecera("corto", 0, 0, 9, 3) + "abc" +
                                          Cabecera("bien", 0, 0, 2, 2) + "ok" + Fin);
    auto r = EjecutaPrograma(VUVODIV_BIN, {"x"}, carpeta.Ruta());
    EXPECT_EQ(r.estado, 1);
    EXPECT_NE(r.salida.find("\nlargo           not restored: damaged data"), std::string::npos);
    EXPECT_NE(r.salida.find("\ncorto           not restored: damaged data"), std::string::npos);
    EXPECT_EQ(ListaCarpeta(carpeta.Ruta()), (std::vector<std::string>{"bien", "x.cmp"}));
    // Restoring the first member's data drew a mark per byte.
    EXPECT_LT(std::count(r.salida.begin(), r.salida.end(), 'o'), 60);
}

// A file that replaces another keeps its permission bits; a new one gets
// 0666 less the umask.
TEST(Permisos, ReplacedFilesKeepTheirMode)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "a", "private");
    EscribeArchivo(carpeta / "x.lst", "a\n");
    EscribeArchivo(carpeta / "x.cmp", "older");
    chmod((carpeta / "x.cmp").c_str(), 0600);
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    EXPECT_EQ(Permisos(carpeta / "x.cmp"), 0600u);

    chmod((carpeta / "a").c_str(), 0640);
    ASSERT_EQ(EjecutaPrograma(VUVODIV_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    EXPECT_EQ(Permisos(carpeta / "a"), 0640u);

    unlink((carpeta / "a").c_str());
    mode_t mascara = umask(0);
    umask(mascara);
    ASSERT_EQ(EjecutaPrograma(VUVODIV_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    EXPECT_EQ(Permisos(carpeta / "a"), 0666u & ~mascara);

    // A link in the member's place is no older file: the file that replaces
    // it does not take the mode of the link's target.
    unlink((carpeta / "a").c_str());
    EscribeArchivo(carpeta / "fuera", "target");
    chmod((carpeta / "fuera").c_str(), 0777);
    ASSERT_EQ(symlink("fuera", (carpeta / "a").c_str()), 0);
    ASSERT_EQ(EjecutaPrograma(VUVODIV_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    EXPECT_EQ(Permisos(carpeta / "a"), 0666u & ~mascara);
    EXPECT_EQ(LeeArchivo(carpeta / "fuera"), "target");
}

// Run as root, a file that replaces another keeps its owner and group, so
// the user it belonged to is not locked out of it.
TEST(Permisos, ReplacedFilesKeepTheirOwner)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "a", "private");
    EscribeArchivo(carpeta / "x.lst", "a\n");
    EscribeArchivo(carpeta / "x.cmp", "older");
    for (const char* nombre : {"a", "x.cmp"}) {
        ASSERT_EQ(chown((carpeta / nombre).c_str(), 65534, 65534), 0);
        chmod((carpeta / nombre).c_str(), 0600);
    }
    ASSERT_EQ(EjecutaPrograma(DEDEZODI_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    ASSERT_EQ(EjecutaPrograma(VUVODIV_BIN, {"x"}, carpeta.Ruta()).estado, 0);
    for (const char* nombre : {"a", "x.cmp"}) {
        struct stat datos;
        ASSERT_EQ(stat((carpeta / nombre).c_str(), &datos), 0);
        EXPECT_EQ(datos.st_uid, 65534u) << nombre;
        EXPECT_EQ(datos.st_gid, 65534u) << nombre;
        EXPECT_EQ(datos.st_mode & 0777, 0600u) << nombre;
    }
}
