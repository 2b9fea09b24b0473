// Writes the fuzz targets' seed corpora, made here and by the compressor's
// own code, never taken from elsewhere:
//   <dir>/archivo     archives packed by Dedezodi's member driver, and copies
//                     with a header changed (text types, an unknown method,
//                     an unsafe name) or cut short;
//   <dir>/ida_vuelta  files of the kinds the encoder meets: text, runs,
//                     spaces, random bytes, nothing;
//   <dir>/lista       list files: comments, type words, CR LF, long lines,
//                     too many names, a name too long;
//   <dir>/opciones    Vuvodiv command lines, each followed by a zero byte
//                     and one of the archives above.
//   <dir>/hilos       files cut in three, some to be stretched, for packing
//                     with one thread and with several.
//   <dir>/rescate     a mode byte and archives damaged as old media damage
//                     them: a zeroed sector, a flipped bit, a size one bit
//                     off, cut, missing their head, bytes inserted.
//   <dir>/restaura_hilos  a byte choosing the threads and one of the
//                     archives above, for restoring with one thread and
//                     with several.
// Usage: semillas DIR (DIR must exist and be empty or absent).

#include "arnes.h"
#include "dedezodi.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string CarpetaSemillas;   // the corpus root, absolute

std::string TextoSemilla(size_t tamano, uint32_t semilla)
{
    static const char* const palabras[] = {"river", "stone", "the", "of", "light", "and",
                                           "window", "a", "slow", "morning", "under", "it"};
    std::mt19937 azar(semilla);
    std::string texto;
    while (texto.size() < tamano) {
        texto += palabras[azar() % 12];
        texto += azar() % 9 == 0 ? "\r\n" : " ";
    }
    texto.resize(tamano);
    return texto;
}

std::string AzarSemilla(size_t tamano, uint32_t semilla)
{
    std::mt19937 azar(semilla);
    std::string bytes(tamano, '\0');
    for (char& c : bytes)
        c = static_cast<char>(azar());
    return bytes;
}

void GuardaSemilla(const std::string& carpeta, const std::string& nombre, const std::string& bytes)
{
    fs::create_directories(CarpetaSemillas + "/" + carpeta);
    EscribeBytes(CarpetaSemillas + "/" + carpeta + "/" + nombre,
                 reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Packs files with the real member driver, in the working folder.
std::string EmpaquetaSemilla(const std::vector<std::pair<std::string, std::string>>& archivos)
{
    EntraCarpetaTrabajo();
    for (const auto& [nombre, datos] : archivos)
        EscribeBytes(nombre, reinterpret_cast<const uint8_t*>(datos.data()), datos.size());
    Salida = fopen("x.cmp", "wb+");
    for (const auto& archivo : archivos)
        dedezodi::Dedezodi(archivo.first.c_str(), TipoTexto);
    dedezodi::EscribeFalsaCabecera();
    fclose(Salida);
    Salida = nullptr;
    std::string archivo = LeeBytes("x.cmp");
    SaleCarpetaTrabajo();
    return archivo;
}

void SiembraArchivos()
{
    std::string lzh = EmpaquetaSemilla({{"poema.txt", TextoSemilla(900, 1)},
                                        {"doce_letras1", std::string(200, 'a')},
                                        {"vacio", ""},
                                        {"ruido.bin", AzarSemilla(120, 2)}});
    GuardaSemilla("archivo", "cuatro", lzh);
    GuardaSemilla("archivo", "espacios", EmpaquetaSemilla({{"sp", std::string(300, ' ')}}));
    GuardaSemilla("archivo", "solo_fin", std::string(TamCabecera, '\0'));
    std::string corto = EmpaquetaSemilla({{"a", TextoSemilla(400, 3)}, {"b", AzarSemilla(50, 4)}});
    for (uint8_t tipo : {TipoTextoSinCR, TipoTextoTraducido, uint8_t{5}}) {
        std::string cambiado = corto;
        cambiado[PosTipo] = static_cast<char>(tipo);
        GuardaSemilla("archivo", "tipo" + std::to_string(tipo), cambiado);
    }
    std::string metodo = corto;
    metodo[PosMetodo] = 7;
    GuardaSemilla("archivo", "metodo7", metodo);
    std::string inseguro = corto;
    inseguro.replace(0, 3, "../");
    GuardaSemilla("archivo", "inseguro", inseguro);
    GuardaSemilla("archivo", "cortado", corto.substr(0, corto.size() / 2));
    for (const auto& entrada : fs::directory_iterator(CarpetaSemillas + "/archivo"))
        GuardaSemilla("restaura_hilos", entrada.path().filename().string(),
                      std::string(1, '\x02') + LeeBytes(entrada.path().string()));

    // Salvage: the mode byte (-t, -n) and archives damaged as media do it.
    std::string sector = lzh;
    std::fill(sector.begin() + 512, sector.begin() + std::min<size_t>(1024, sector.size()), '\0');
    std::string volteado = lzh;
    volteado[TamCabecera + 40] ^= 0x10;
    std::string cabecera = corto;
    cabecera[PosTamanoOriginal + 2] ^= 0x01;
    const std::pair<const char*, std::string> danados[] = {
        {"sector", sector},         {"volteo", volteado},           {"cabecera", cabecera},
        {"corte", lzh.substr(0, lzh.size() * 2 / 3)}, {"sin_cabeza", lzh.substr(100)},
        {"insercion", lzh.substr(0, 300) + "\x01\x02\x03" + lzh.substr(300)}, {"intacto", lzh}};
    for (const auto& [nombre, bytes] : danados)
        GuardaSemilla("rescate", nombre, std::string(1, nombre[0] == 'i' ? '\x01' : '\0') + bytes);

    const std::pair<const char*, std::string> llamadas[] = {
        {"-l\nx", lzh}, {"--list\n--\nx\nPOEMA_TXT\nnada", lzh}, {"-lq\nx", metodo},
        {"-t\n-d\nsal\nx", corto}, {"--directory=sal\n-n\nx\nb", inseguro},
        {"-p\nx", corto.substr(0, corto.size() / 2)}, {"--help", ""}, {"-x\nx", ""}, {"-l", lzh},
        {"-lq\n-\n*.TXT", lzh}, {"-l\nx.cmp", corto}, {"-t\n-", corto.substr(0, corto.size() / 2)},
        {"-V", ""}, {"x.cmp", corto}, {"-d\nout/sub\nx\n[a-z]*", lzh},
        {"--\nx\na_b.txt\nc.txt", corto}, {"-qb\n-T\nn\nx\nmy_pw.txt", ""}};
    int i = 0;
    for (const auto& [llamada, archivo] : llamadas)
        GuardaSemilla("opciones", "llamada" + std::to_string(i++), llamada + std::string(1, '\0') + archivo);
}

void SiembraIdaVuelta()
{
    GuardaSemilla("ida_vuelta", "vacio", "");
    GuardaSemilla("ida_vuelta", "texto", TextoSemilla(1500, 5));
    GuardaSemilla("ida_vuelta", "racha", std::string(700, 'x'));
    GuardaSemilla("ida_vuelta", "espacios", std::string(61, ' '));
    GuardaSemilla("ida_vuelta", "azar", AzarSemilla(300, 6));
    std::string mezcla = TextoSemilla(500, 7) + AzarSemilla(100, 8) + TextoSemilla(500, 7);
    GuardaSemilla("ida_vuelta", "mezcla", mezcla);
}

// The first byte chooses the threads and the stretching, the next two
// where the three files are cut.
void SiembraHilos()
{
    GuardaSemilla("hilos", "texto", std::string("\x01\x40\x80") + TextoSemilla(1500, 9));
    GuardaSemilla("hilos", "estirado", std::string("\x82\x20\xf0") + TextoSemilla(300, 10) +
                                           AzarSemilla(200, 11) + std::string(300, '\0'));
    GuardaSemilla("hilos", "cortos", std::string("\x03\x08\x10") + TextoSemilla(200, 12));
    GuardaSemilla("hilos", "vacios", std::string("\x00\x00\x00") + AzarSemilla(100, 13));
}

void SiembraListas()
{
    GuardaSemilla("lista", "ejemplo", "* papers\nnotas_txt\ninforme.doc   b\n\n   \n\tdatos\tBin extra\n");
    GuardaSemilla("lista", "crlf", "uno\r\ndos b\r\n*tres\r\n");
    GuardaSemilla("lista", "larga", "primero" + std::string(73, ' ') + "segundo b\n");
    GuardaSemilla("lista", "nombre_largo", "trece_letras1\n");
    std::string muchos;
    for (int i = 0; i <= dedezodi::MaxArchivos; ++i)
        muchos += "f" + std::to_string(i) + "\n";
    GuardaSemilla("lista", "muchos", muchos);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        fprintf(stderr, "usage: semillas DIR\n");
        return 2;
    }
    CarpetaSemillas = fs::absolute(argv[1]).string();
    SilenciaConsola();
    try {
        SiembraArchivos();
        SiembraIdaVuelta();
        SiembraListas();
        SiembraHilos();
    } catch (const FinFatal&) {
        fprintf(stderr, "semillas: %s\n", MensajeFatal);
        return 1;
    }
    return 0;
}
