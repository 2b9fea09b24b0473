#include "danos.h"

#include <random>
#include <stdexcept>

#include "ayuda.h"

const char* NombreModelo(ModeloDano modelo)
{
    switch (modelo) {
    case ModeloDano::Sector: return "zeroed 512-byte sector";
    case ModeloDano::Bit: return "1 bit flipped";
    case ModeloDano::Bits4: return "4 bits flipped";
    case ModeloDano::Bits16: return "16 bits flipped";
    case ModeloDano::Corte: return "truncated";
    case ModeloDano::SinCabeza: return "first N bytes missing";
    case ModeloDano::Insercion: return "1-8 bytes inserted";
    case ModeloDano::Borrado: return "1-8 bytes deleted";
    case ModeloDano::BitCabecera: return "one bit flipped in a header";
    }
    return "?";
}

static uint32_t TomaTamano(const std::string& bytes, size_t en)
{
    uint32_t valor = 0;
    for (size_t i = 0; i < 4; ++i)
        valor = valor << 8 | static_cast<uint8_t>(bytes[en + i]);
    return valor;
}

ArchivoPrueba EmpaquetaPrueba(const std::vector<std::pair<std::string, std::string>>& archivos,
                              const std::vector<std::string>& opciones)
{
    CarpetaTemporal carpeta;
    std::string lista;
    for (const auto& [nombre, datos] : archivos) {
        EscribeArchivo(carpeta / nombre, datos);
        lista += nombre + " b\n";
    }
    EscribeArchivo(carpeta / "x.lst", lista);
    std::vector<std::string> args = opciones;
    args.push_back("-q");
    args.push_back("x");
    if (EjecutaPrograma(DEDEZODI_BIN, args, carpeta.Ruta()).estado != 0)
        throw std::runtime_error("Dedezodi failed on the damage harness's files");
    ArchivoPrueba archivo{LeeArchivo(carpeta / "x.cmp"), {}};
    size_t en = 0;
    for (const auto& [nombre, datos] : archivos) {
        MiembroPrueba miembro{nombre, datos, en, en + 22 + TomaTamano(archivo.bytes, en + 18)};
        archivo.miembros.push_back(miembro);
        en = miembro.fin;
    }
    return archivo;
}

// The members that share a byte with [desde, hasta).
static std::vector<bool> Tocados(const ArchivoPrueba& archivo, size_t desde, size_t hasta)
{
    std::vector<bool> tocado;
    for (const auto& m : archivo.miembros)
        tocado.push_back(desde < m.fin && m.inicio < hasta);
    return tocado;
}

static void Voltea(ArchivoDanado& danado, const ArchivoPrueba& archivo, int bits, std::mt19937& azar)
{
    for (int i = 0; i < bits; ++i) {
        const size_t bit = azar() % (8 * danado.bytes.size());
        danado.bytes[bit / 8] = static_cast<char>(danado.bytes[bit / 8] ^ (1 << (bit % 8)));
        const auto tocado = Tocados(archivo, bit / 8, bit / 8 + 1);
        for (size_t m = 0; m < tocado.size(); ++m)
            danado.tocado[m] = danado.tocado[m] || tocado[m];
    }
}

ArchivoDanado Dana(const ArchivoPrueba& archivo, ModeloDano modelo, uint32_t semilla)
{
    std::mt19937 azar(semilla);
    const size_t tamano = archivo.bytes.size();
    ArchivoDanado danado{archivo.bytes, std::vector<bool>(archivo.miembros.size(), false)};
    switch (modelo) {
    case ModeloDano::Sector: {
        const size_t desde = 512 * (azar() % (tamano / 512 + 1));
        const size_t hasta = std::min(desde + 512, tamano);
        for (size_t i = desde; i < hasta; ++i)
            danado.bytes[i] = '\0';
        danado.tocado = Tocados(archivo, desde, hasta);
        break;
    }
    case ModeloDano::Bit: Voltea(danado, archivo, 1, azar); break;
    case ModeloDano::Bits4: Voltea(danado, archivo, 4, azar); break;
    case ModeloDano::Bits16: Voltea(danado, archivo, 16, azar); break;
    case ModeloDano::Corte: {
        const size_t corte = 1 + azar() % (tamano - 1);
        danado.bytes.resize(corte);
        danado.tocado = Tocados(archivo, corte, tamano);
        break;
    }
    case ModeloDano::SinCabeza: {
        const size_t falta = 1 + azar() % std::min<size_t>(4096, tamano - 1);
        danado.bytes.erase(0, falta);
        danado.tocado = Tocados(archivo, 0, falta);
        break;
    }
    case ModeloDano::Insercion: {
        const size_t en = azar() % (tamano + 1);
        std::string nuevos(1 + azar() % 8, '\0');
        for (char& c : nuevos)
            c = static_cast<char>(azar());
        danado.bytes.insert(en, nuevos);
        for (size_t m = 0; m < archivo.miembros.size(); ++m)
            danado.tocado[m] = archivo.miembros[m].inicio < en && en < archivo.miembros[m].fin;
        break;
    }
    case ModeloDano::Borrado: {
        const size_t cuantos = 1 + azar() % 8;
        const size_t en = azar() % (tamano - cuantos + 1);
        danado.bytes.erase(en, cuantos);
        danado.tocado = Tocados(archivo, en, en + cuantos);
        break;
    }
    case ModeloDano::BitCabecera: {
        const size_t m = azar() % archivo.miembros.size();
        const size_t bit = azar() % (8 * 22);
        char& octeto = danado.bytes[archivo.miembros[m].inicio + bit / 8];
        octeto = static_cast<char>(octeto ^ (1 << (bit % 8)));
        danado.tocado[m] = true;
        break;
    }
    }
    return danado;
}

static bool EsPrefijo(const std::string& parte, const std::string& todo)
{
    return parte.size() <= todo.size() && todo.compare(0, parte.size(), parte) == 0;
}

static bool EsNombreDePosicion(const std::string& nombre)
{
    return nombre.size() == 9 && nombre[0] == '@' &&
           nombre.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos;
}

// A flipped bit in a header's name field (its zero padding too) gives
// another name that may be as good as the first; nothing in the format can
// tell.  Compared as the 12-byte fields.
static bool DifiereEnUnBit(std::string a, std::string b)
{
    if (a.size() > 12 || b.size() > 12)
        return false;
    a.resize(12, '\0');
    b.resize(12, '\0');
    int bits = 0;
    for (size_t i = 0; i < a.size(); ++i)
        bits += __builtin_popcount(static_cast<uint8_t>(a[i] ^ b[i]));
    return bits == 1;
}

// Which member a file of the output stands for, and what it must hold.
static void CuentaArchivo(const ArchivoPrueba& archivo, const ArchivoDanado& danado,
                          const std::string& nombre, const std::string& datos, Recuento& cuenta)
{
    for (size_t m = 0; m < archivo.miembros.size(); ++m) {
        const MiembroPrueba& miembro = archivo.miembros[m];
        if (nombre == miembro.nombre) {
            if (datos != miembro.datos)
                ++cuenta.erroneos;
            else if (!danado.tocado[m])
                ++cuenta.exactos;
            return;
        }
        if (nombre == miembro.nombre + ".partial") {
            cuenta.erroneos += !EsPrefijo(datos, miembro.datos);
            return;
        }
        if (nombre == miembro.nombre + ".suspect")
            return;
    }
    if (EsNombreDePosicion(nombre))
        return;
    for (size_t m = 0; m < archivo.miembros.size(); ++m)
        if (danado.tocado[m] && datos == archivo.miembros[m].datos && DifiereEnUnBit(nombre, archivo.miembros[m].nombre)) {
            ++cuenta.renombrados;
            return;
        }
    ++cuenta.inventados;
}

Recuento MideRestauracion(const ArchivoPrueba& archivo, const ArchivoDanado& danado,
                          const std::vector<std::string>& opciones)
{
    CarpetaTemporal carpeta;
    EscribeArchivo(carpeta / "x.cmp", danado.bytes);
    std::vector<std::string> args = opciones;
    for (const char* arg : {"-d", "out", "x"})
        args.push_back(arg);
    const Resultado r = EjecutaPrograma(VUVODIV_BIN, args, carpeta.Ruta());
    Recuento cuenta;
    cuenta.estado = r.estado;
    cuenta.salida = r.salida + r.errores;
    for (bool tocado : danado.tocado)
        cuenta.intactos += !tocado;
    if (!ExisteArchivo(carpeta / "out"))
        return cuenta;
    for (const auto& nombre : ListaCarpeta(carpeta / "out"))
        CuentaArchivo(archivo, danado, nombre, LeeArchivo(carpeta / ("out/" + nombre)), cuenta);
    return cuenta;
}
