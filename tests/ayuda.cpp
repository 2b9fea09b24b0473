#include "ayuda.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

CarpetaTemporal::CarpetaTemporal()
{
    const char* base = getenv("TMPDIR");
    std::string plantilla = std::string(base && *base ? base : "/tmp") + "/pruebaXXXXXX";
    if (!mkdtemp(plantilla.data()))
        throw std::runtime_error("mkdtemp failed");
    ruta_ = plantilla;
}

static void PonInmutable(const std::string& ruta, bool inmutable)
{
    const int fd = open(ruta.c_str(), O_RDONLY | O_DIRECTORY);
    int atributos = 0;
    if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &atributos) == 0) {
        atributos = inmutable ? atributos | FS_IMMUTABLE_FL : atributos & ~FS_IMMUTABLE_FL;
        ioctl(fd, FS_IOC_SETFLAGS, &atributos);
    }
    if (fd >= 0)
        close(fd);
}

CarpetaTemporal::~CarpetaTemporal()
{
    std::error_code ignorado;
    for (const auto& entrada : std::filesystem::recursive_directory_iterator(ruta_, ignorado))
        if (entrada.is_directory(ignorado) && !entrada.is_symlink(ignorado)) {
            PonInmutable(entrada.path().string(), false);   // BloqueaCarpeta's folders
            chmod(entrada.path().c_str(), 0755);
        }
    std::filesystem::remove_all(ruta_, ignorado);
}

bool BloqueaCarpeta(const std::string& ruta)
{
    mkdir(ruta.c_str(), 0755);
    chmod(ruta.c_str(), 0555);
    PonInmutable(ruta, true);
    const std::string prueba = ruta + "/prueba";
    const int fd = open(prueba.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return true;
    close(fd);
    unlink(prueba.c_str());
    return false;
}

void EscribeArchivo(const std::string& ruta, const std::string& bytes)
{
    std::ofstream archivo(ruta, std::ios::binary | std::ios::trunc);
    archivo.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!archivo)
        throw std::runtime_error("cannot write " + ruta);
}

std::string LeeArchivo(const std::string& ruta)
{
    std::ifstream archivo(ruta, std::ios::binary);
    if (!archivo)
        throw std::runtime_error("cannot read " + ruta);
    std::ostringstream contenido;
    contenido << archivo.rdbuf();
    return contenido.str();
}

std::string LeeTodo(FILE* archivo)
{
    std::string bytes;
    rewind(archivo);
    for (int c; (c = getc(archivo)) != EOF;)
        bytes += static_cast<char>(c);
    return bytes;
}

bool ExisteArchivo(const std::string& ruta)
{
    struct stat datos;
    return lstat(ruta.c_str(), &datos) == 0;
}

std::vector<std::string> ListaCarpeta(const std::string& ruta)
{
    std::vector<std::string> nombres;
    for (const auto& entrada : std::filesystem::directory_iterator(ruta))
        nombres.push_back(entrada.path().filename().string());
    std::sort(nombres.begin(), nombres.end());
    return nombres;
}

void EjecutaEnCarpeta(const std::string& programa, const std::vector<std::string>& args,
                      const std::string& carpeta)
{
    if (chdir(carpeta.c_str()) != 0)
        _exit(127);
    std::vector<char*> argv{const_cast<char*>(programa.c_str())};
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(programa.c_str(), argv.data());
    _exit(127);
}

Resultado EjecutaPrograma(const std::string& programa, const std::vector<std::string>& args,
                          const std::string& carpeta, long limiteArchivo, long limiteDescriptores)
{
    int tubo[2];
    if (pipe(tubo) != 0)
        throw std::runtime_error("pipe failed");
    // Standard error goes to a file, so neither stream can block the other.
    FILE* errores = tmpfile();
    if (!errores)
        throw std::runtime_error("tmpfile failed");
    pid_t hijo = fork();
    if (hijo == 0) {
        close(tubo[0]);
        dup2(tubo[1], STDOUT_FILENO);
        close(tubo[1]);
        dup2(fileno(errores), STDERR_FILENO);
        int nulo = open("/dev/null", O_RDONLY);
        dup2(nulo, STDIN_FILENO);
        if (limiteArchivo > 0) {
            rlimit limite{static_cast<rlim_t>(limiteArchivo), static_cast<rlim_t>(limiteArchivo)};
            setrlimit(RLIMIT_FSIZE, &limite);
        }
        if (limiteDescriptores > 0) {
            rlimit limite{static_cast<rlim_t>(limiteDescriptores), static_cast<rlim_t>(limiteDescriptores)};
            setrlimit(RLIMIT_NOFILE, &limite);
        }
        EjecutaEnCarpeta(programa, args, carpeta);
    }
    close(tubo[1]);
    Resultado resultado{-1, {}, {}};
    char bloque[4096];
    ssize_t leidos;
    while ((leidos = read(tubo[0], bloque, sizeof bloque)) > 0)
        resultado.salida.append(bloque, static_cast<size_t>(leidos));
    close(tubo[0]);
    int estado = 0;
    waitpid(hijo, &estado, 0);
    resultado.estado = WIFEXITED(estado) ? WEXITSTATUS(estado) : 128 + WTERMSIG(estado);
    rewind(errores);
    for (size_t n; (n = fread(bloque, 1, sizeof bloque, errores)) > 0;)
        resultado.errores.append(bloque, n);
    fclose(errores);
    return resultado;
}

static void AnadeTamano(std::string& destino, uint32_t tamano)
{
    for (int desplazamiento = 24; desplazamiento >= 0; desplazamiento -= 8)
        destino += static_cast<char>((tamano >> desplazamiento) & 0xFF);
}

std::string Cabecera(const std::string& nombre, int tipo, int metodo,
                     uint32_t tamanoOriginal, uint32_t tamanoComprimido)
{
    std::string cabecera = nombre.substr(0, 12);
    cabecera.resize(12, '\0');
    cabecera += static_cast<char>(tipo);
    cabecera += static_cast<char>(metodo);
    AnadeTamano(cabecera, tamanoOriginal);
    AnadeTamano(cabecera, tamanoComprimido);
    return cabecera;
}

std::string DatosAleatorios(size_t tamano, uint32_t semilla)
{
    std::mt19937 generador(semilla);
    std::string datos(tamano, '\0');
    for (auto& c : datos)
        c = static_cast<char>(generador() & 0xFF);
    return datos;
}

std::string TextoDePrueba(size_t tamano, uint32_t semilla)
{
    static const char* const palabras[] = {
        "the", "archive", "window", "of", "a", "member", "and", "to", "bytes", "restored",
        "list", "files", "is", "in", "that", "with", "match", "longest", "tree", "count"};
    std::mt19937 generador(semilla);
    std::string texto;
    while (texto.size() < tamano) {
        texto += palabras[generador() % 20];
        texto += generador() % 11 == 0 ? "\r\n" : " ";
    }
    texto.resize(tamano);
    return texto;
}

// The file is made of segments "s" + "c" * n.  Once the nine letters have
// been seen, each segment is coded as one match of n + 1 bytes, which starts
// at its letter and ends with its run, provided no pair of successive
// letters repeats within the window: the letters follow a cycle through all
// 81 ordered pairs of A..I, so a pair comes back only after 81 segments,
// more than 4096 bytes later.  Runs of 59 down to 51 bytes, in blocks of
// 330 x (1, 1, 2, 3, 5, 8, 13, 21, 34) segments, give nine length symbols
// Fibonacci-like counts: each outweighs all rarer symbols together, so they
// hang as a chain nine levels deep above the subtree of the ~300 symbols
// never sent.  The final '0', one of those, is coded 17 edges deep, before
// the model's first rebuild.
std::string EntradaProfunda()
{
    const int letras = 9;
    std::vector<int> ciclo{0};
    std::vector<std::vector<bool>> usado(letras, std::vector<bool>(letras, false));
    for (int actual = 0;;) {
        int siguiente = letras - 1;
        while (siguiente >= 0 && usado[static_cast<size_t>(actual)][static_cast<size_t>(siguiente)])
            --siguiente;
        if (siguiente < 0)
            break;
        usado[static_cast<size_t>(actual)][static_cast<size_t>(siguiente)] = true;
        ciclo.push_back(siguiente);
        actual = siguiente;
    }
    ciclo.pop_back();   // the cycle returns to its start: 81 letters, 81 pairs

    static const int fibonacci[] = {1, 1, 2, 3, 5, 8, 13, 21, 34};
    std::string datos;
    size_t segmento = 0;
    for (int k = 0; k < 9; ++k) {
        for (int vez = 0; vez < 330 * fibonacci[k]; ++vez, ++segmento) {
            datos += static_cast<char>('A' + ciclo[segmento % ciclo.size()]);
            datos.append(static_cast<size_t>(59 - k), 'c');
        }
    }
    return datos + '0';
}
