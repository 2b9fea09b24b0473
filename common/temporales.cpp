// The temporary file is "<final name>.XXXXXX" in the same folder, so the
// closing rename never crosses file systems.  Each pending one has an entry
// here (its name, folder and stream) so that the fatal error path and an
// interrupt can remove them all; an entry is in use while en is set.

#include "temporales.h"

#include "nombres.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <iterator>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

int CarpetaSalida = AT_FDCWD;
// The names apart, so that looking through the table reads one page.
struct Temporal {
    char* nombre;
    int carpeta;
    FILE* archivo;
    volatile sig_atomic_t en;
};
static char NombresTemporales[MaxTemporales][TamNombreArchivo + 8];
static Temporal Temporales[MaxTemporales];

// Every catchable signal whose default action ends the process must take
// the temporary files with it.  Only a signal still at its default action
// is taken over: one that the caller set to be ignored (nohup, a background
// job) stays ignored, SIGXFSZ stays ignored so that a file-size limit is a
// write error the programs report, and one that something else in the
// process handles (a sanitizer's fault reports, a fuzzer's timer) keeps
// its handler.
static const int SenalesDeFin[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF,
    SIGPOLL, SIGPWR, SIGSTKFLT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS,
};
static sigset_t SenalesAtendidas;

// errno stays as it was: it says why the file is given up.
static void BorraTemporal(Temporal& t)
{
    const int causa = errno;
    unlinkat(t.carpeta, t.nombre, 0);
    t.en = 0;
    errno = causa;
}

// Async-signal-safe: the signal handlers call it too.
static void BorraTemporalesPendientes()
{
    for (Temporal& t : Temporales)
        if (t.en)
            BorraTemporal(t);
}

static void BorraTemporalYSal(int senal)
{
    BorraTemporalesPendientes();
    signal(senal, SIG_DFL);
    raise(senal);
}

void SalDesdeSenal(int fd, const char* mensaje, size_t largo)
{
    BorraTemporalesPendientes();
    (void)!write(fd, mensaje, largo);
    _exit(1);
}

static void AtiendeSenal(int senal)
{
    struct sigaction actual;
    if (sigaction(senal, nullptr, &actual) != 0 || (actual.sa_flags & SA_SIGINFO) || actual.sa_handler != SIG_DFL)
        return;
    struct sigaction nueva = {};
    nueva.sa_handler = BorraTemporalYSal;
    sigemptyset(&nueva.sa_mask);
    sigaction(senal, &nueva, nullptr);
    sigaddset(&SenalesAtendidas, senal);
}

static void InstalaSenales()
{
    static bool instaladas;
    if (instaladas)
        return;
    instaladas = true;
    sigemptyset(&SenalesAtendidas);
    for (int senal : SenalesDeFin)
        AtiendeSenal(senal);
    for (int senal = SIGRTMIN; senal <= SIGRTMAX; ++senal)
        AtiendeSenal(senal);
}

// A file that replaces another keeps its permission bits, and its owner
// and group where the process may give them (as root), as writing it in
// place would; a new one gets what fopen() would give it (0666 less the
// umask), not mkstemp()'s 0600.  A symbolic link is not an older file of
// that name: the file replaces the link, and the target is none of its
// business.
static bool HeredaDelAnterior(int fd, const char* nombreFinal)
{
    struct stat anterior;
    mode_t permisos;
    if (fstatat(CarpetaSalida, nombreFinal, &anterior, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(anterior.st_mode)) {
        permisos = anterior.st_mode & 0777;
        if (geteuid() == 0)
            (void)!fchown(fd, anterior.st_uid, anterior.st_gid);   // then the mode: chown clears set-id bits
    } else {
        const mode_t mascara = umask(0);
        umask(mascara);
        permisos = 0666 & ~mascara;
    }
    return fchmod(fd, permisos) == 0;
}

// mkstemp() within CarpetaSalida: the six X at the end of plantilla become
// letters until a name is free.  O_NOFOLLOW: a link planted under the
// temporary name is never written through.
static int CreaUnico(char* plantilla)
{
    static const char letras[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static uint64_t azar;
    if (azar == 0 && getrandom(&azar, sizeof azar, GRND_NONBLOCK) != sizeof azar)
        azar = static_cast<uint64_t>(time(nullptr)) ^ static_cast<uint64_t>(getpid()) << 32;
    char* x = plantilla + strlen(plantilla) - 6;
    for (int intento = 0; intento < 1000; ++intento) {
        azar = azar * 6364136223846793005u + 1442695040888963407u;
        uint64_t bits = azar >> 16;
        for (int i = 0; i < 6; ++i, bits /= 62)
            x[i] = letras[bits % 62];
        int fd = openat(CarpetaSalida, plantilla, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

static Temporal* BuscaTemporal(FILE* archivo)
{
    for (Temporal& t : Temporales)
        if (t.en && t.archivo == archivo)
            return &t;
    return nullptr;
}

// The handled signals are held from before the file exists until it is
// recorded, so an interrupt can never leave it behind.  Threads that write
// into temporary files hold these signals all along (they are started with
// them held), so the handler always runs where the table is kept.
FILE* CreaTemporal(const char* nombreFinal)
{
    InstalaSenales();
    Temporal* libre =
        std::find_if(std::begin(Temporales), std::end(Temporales), [](const Temporal& t) { return !t.en; });
    if (libre == std::end(Temporales)) {
        errno = EMFILE;   // the table is full as a table of descriptors would be
        return nullptr;
    }
    Temporal& t = *libre;
    t.nombre = NombresTemporales[libre - Temporales];
    int n = snprintf(t.nombre, sizeof NombresTemporales[0], "%s.XXXXXX", nombreFinal);
    if (n < 0 || n >= static_cast<int>(sizeof NombresTemporales[0])) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    t.carpeta = CarpetaSalida;
    t.archivo = nullptr;
    sigset_t previas;
    sigprocmask(SIG_BLOCK, &SenalesAtendidas, &previas);
    int fd = CreaUnico(t.nombre);
    t.en = fd >= 0;
    sigprocmask(SIG_SETMASK, &previas, nullptr);
    if (fd < 0)
        return nullptr;
    if (!HeredaDelAnterior(fd, nombreFinal) || !(t.archivo = fdopen(fd, "wb+"))) {
        const int causa = errno;
        close(fd);
        BorraTemporal(t);
        errno = causa;
        return nullptr;
    }
    return t.archivo;
}

bool ConfirmaTemporal(FILE* archivo, const char* nombreFinal)
{
    Temporal* t = BuscaTemporal(archivo);
    errno = 0;   // a write that failed before this call left no reason here
    bool escrito = fflush(archivo) == 0 && !ferror(archivo);
    escrito = fclose(archivo) == 0 && escrito;
    if (!t)
        return false;
    t->archivo = nullptr;
    if (escrito && renameat(t->carpeta, t->nombre, t->carpeta, nombreFinal) == 0) {
        t->en = 0;
        return true;
    }
    BorraTemporal(*t);   // at once: the caller may try again, and the space is its
    return false;
}

void DescartaTemporal(FILE* archivo)
{
    if (!archivo)
        return BorraTemporalesPendientes();
    Temporal* t = BuscaTemporal(archivo);
    fclose(archivo);
    if (t)
        BorraTemporal(*t);
}
