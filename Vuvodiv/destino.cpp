// Where restored files go.  The target folder (the working folder, or the
// one of -d) is opened once; each member's folders are then opened one by
// one below it with O_NOFOLLOW, and the member's file is created in the
// last of them, so no file is ever written through a symbolic link that is
// already in the target folder.  A link as the last component is replaced
// by the final rename, never written through.
//
// A member that names the archive being read would replace it; it is
// recognised by the file's identity (device and inode), so any spelling of
// the name is caught.

#include "vuvodiv.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vuvodiv {

static int Destino = AT_FDCWD;
static struct stat IdentidadArchivo;

void AbreDestino()
{
    if (fstat(fileno(Entrada), &IdentidadArchivo) != 0)
        ErrorFatalCon("Can't read file '%s'", NombreArchivo);
    Destino = AT_FDCWD;
    if (CarpetaDestino) {
        if (mkdir(CarpetaDestino, 0777) != 0 && errno != EEXIST)
            ErrorFatalCon("Can't create folder '%s'", CarpetaDestino);
        Destino = open(CarpetaDestino, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (Destino < 0)
            ErrorFatalCon("Can't open folder '%s'", CarpetaDestino);
    }
    CarpetaSalida = Destino;
}

// The name has passed EsNombreSeguro: relative, no "..", a last component
// that can be a file.  Empty steps ("a//b") are skipped as a path would.
const char* PreparaRuta(Miembro& m, const char** motivo)
{
    m.carpeta = Destino;
    const char* paso = m.nombre;
    for (const char* barra; (barra = strchr(paso, '/')); paso = barra + 1) {
        char carpeta[TamNombre + 1];
        size_t largo = static_cast<size_t>(barra - paso);
        if (largo == 0)
            continue;
        memcpy(carpeta, paso, largo);
        carpeta[largo] = '\0';
        int fd = openat(m.carpeta, carpeta, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat datos;
        if (fd < 0 && fstatat(m.carpeta, carpeta, &datos, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(datos.st_mode)) {
            *motivo = "a folder of its name is a symbolic link";
            return nullptr;
        }
        if (fd < 0)
            ErrorFatalCon("Can't create file '%s'", m.nombre);
        CierraRuta(m);
        m.carpeta = fd;
    }
    struct stat datos;
    if (fstatat(m.carpeta, paso, &datos, AT_SYMLINK_NOFOLLOW) == 0 &&
        datos.st_dev == IdentidadArchivo.st_dev && datos.st_ino == IdentidadArchivo.st_ino) {
        *motivo = "it would replace the archive";
        return nullptr;
    }
    return paso;
}

bool ExisteEnDestino(const Miembro& m, const char* ultimo)
{
    struct stat datos;
    return fstatat(m.carpeta, ultimo, &datos, AT_SYMLINK_NOFOLLOW) == 0;
}

void CierraRuta(Miembro& m)
{
    if (m.carpeta >= 0 && m.carpeta != Destino)
        close(m.carpeta);
    m.carpeta = Destino;
}

}  // namespace vuvodiv
