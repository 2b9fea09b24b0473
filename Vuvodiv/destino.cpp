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

// The folder of -d is made with every missing folder above it, as
// mkdir -p makes it; the user chose that path, so links in it are followed.
static void CreaCarpetaDestino()
{
    char ruta[TamNombreArchivo];
    const int largo = snprintf(ruta, sizeof ruta, "%s", CarpetaDestino);
    if (largo < 0 || largo >= static_cast<int>(sizeof ruta))
        ErrorFatalCon("Can't create folder '%s'", CarpetaDestino, Causa{ENAMETOOLONG});
    // Each '/' but a leading one ends a folder, and so does the end.
    for (char* p = strchr(ruta + (largo > 0), '/');; p = strchr(p + 1, '/')) {
        if (p)
            *p = '\0';
        if (mkdir(ruta, 0777) != 0 && errno != EEXIST)
            ErrorFatalCon("Can't create folder '%s'", CarpetaDestino, Causa{errno});
        if (!p)
            return;
        *p = '/';
    }
}

void AbreDestino()
{
    if (fstat(fileno(Entrada), &IdentidadArchivo) != 0)
        ErrorFatalCon("Can't read file '%s'", NombreArchivo, Causa{errno});
    Destino = AT_FDCWD;
    if (CarpetaDestino) {
        CreaCarpetaDestino();
        Destino = open(CarpetaDestino, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (Destino < 0)
            ErrorFatalCon("Can't open folder '%s'", CarpetaDestino, Causa{errno});
    }
    CarpetaSalida = Destino;
}

// One folder of a member's path (ruta: the name up to it), opened below
// m.carpeta without following a link, and made first when it is missing;
// -1 as PreparaRuta fails.
static int AbreCarpetaDeRuta(const Miembro& m, const char* ruta, const char* carpeta, const char** motivo, bool solo)
{
    constexpr int Banderas = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = openat(m.carpeta, carpeta, Banderas);
    if (fd < 0 && errno == ENOENT && (mkdirat(m.carpeta, carpeta, 0777) == 0 || errno == EEXIST))
        fd = openat(m.carpeta, carpeta, Banderas);
    if (fd >= 0 || (!solo && SonRecursosAgotados(errno)))
        return fd;
    const int causa = errno;
    struct stat datos;
    if (fstatat(m.carpeta, carpeta, &datos, AT_SYMLINK_NOFOLLOW) != 0)
        ErrorFatalCon("Can't create folder '%s'", ruta, Causa{causa});
    *motivo = S_ISLNK(datos.st_mode) ? "a folder of its name is a symbolic link"
              : S_ISDIR(datos.st_mode) ? "a folder of its path cannot be opened"
                                       : "a file is in the way of its folder";
    return -1;
}

// The name has passed EsNombreSeguro: relative, no "..", a last component
// that can be a file.  Empty steps ("a//b") are skipped as a path would.
// Missing folders are made; a path blocked by a file, or a folder where
// the file goes, refuses the member and the run goes on.
const char* PreparaRuta(Miembro& m, const char** motivo, bool solo)
{
    m.carpeta = Destino;
    char ruta[TamNombre + 1];   // the name, cut at each '/' in turn
    memcpy(ruta, m.nombre, sizeof ruta);
    char* paso = ruta;
    for (char* barra; (barra = strchr(paso, '/')); paso = barra + 1) {
        if (barra == paso)
            continue;
        *barra = '\0';
        const int fd = AbreCarpetaDeRuta(m, ruta, paso, motivo, solo);
        *barra = '/';
        if (fd < 0)
            return nullptr;
        CierraRuta(m);
        m.carpeta = fd;
    }
    const char* ultimo = m.nombre + (paso - ruta);
    struct stat datos;
    if (fstatat(m.carpeta, ultimo, &datos, AT_SYMLINK_NOFOLLOW) != 0)
        return ultimo;
    const bool esArchivo = datos.st_dev == IdentidadArchivo.st_dev && datos.st_ino == IdentidadArchivo.st_ino;
    if (!esArchivo && !S_ISDIR(datos.st_mode))
        return ultimo;
    *motivo = esArchivo ? "it would replace the archive" : "a folder of its name is in the way";
    return nullptr;
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
