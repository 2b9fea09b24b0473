// The cost-based LZH encoder: its streams decode to the input with the
// unchanged decoder, its matches reach no farther than the greedy
// encoder's, its parse never costs more than the greedy path, and the
// member driver uses it only when asked.

#include <gtest/gtest.h>

#include <unistd.h>

#include "ayuda.h"
#include "dedezodi.h"
#include "vuvodiv.h"

namespace {

FILE* ArchivoCon(const std::string& bytes)
{
    FILE* archivo = tmpfile();
    fwrite(bytes.data(), 1, bytes.size(), archivo);
    rewind(archivo);
    return archivo;
}

// Runs the cost-based encoder over `entrada` as the member driver would and
// returns the stream; *menor receives its verdict.
std::string CodificaOptimo(const std::string& entrada, int* menor = nullptr)
{
    dedezodi::EntradaMiembro = ArchivoCon(entrada);
    Salida = tmpfile();
    TamanoOriginal = static_cast<uint32_t>(entrada.size());
    dedezodi::EmpiezaPasada();
    int resultado = dedezodi::DedezodiLZHOptimo();
    if (menor)
        *menor = resultado;
    std::string bytes = LeeTodo(Salida);
    fclose(dedezodi::EntradaMiembro);
    fclose(Salida);
    EXPECT_EQ(bytes.size(), dedezodi::OctetosComprimidos);
    return bytes;
}

// The greedy encoder's stream of the same member.
std::string CodificaVoraz(const std::string& entrada)
{
    dedezodi::EntradaMiembro = ArchivoCon(entrada);
    Salida = tmpfile();
    TamanoOriginal = static_cast<uint32_t>(entrada.size());
    dedezodi::EmpiezaPasada();
    dedezodi::DedezodiLZH();
    std::string bytes = LeeTodo(Salida);
    fclose(dedezodi::EntradaMiembro);
    fclose(Salida);
    return bytes;
}

// The restorer's decoder, unchanged, over the stream of a member of
// `tamano` bytes.
std::string Decodifica(const std::string& flujo, size_t tamano)
{
    static vuvodiv::Miembro m;
    static vuvodiv::Decodificador d;
    m = vuvodiv::Miembro{};
    Entrada = ArchivoCon(flujo);
    m.original = static_cast<uint32_t>(tamano);
    m.comprimido = static_cast<uint32_t>(flujo.size());
    m.descriptor = -1;
    m.salida = tmpfile();
    vuvodiv::DecodificaLZH(m, d);
    EXPECT_FALSE(m.danado);
    std::string bytes = LeeTodo(m.salida);
    fclose(Entrada);
    fclose(m.salida);
    return bytes;
}

// The symbols of the stream and the largest match position among them,
// read bit by bit by walking the model from the root, with the restorer's
// position tables.
struct Lectura {
    std::vector<int> simbolos;
    int maximaPosicion = -1;
};

Lectura LeeFlujo(const std::string& flujo, size_t tamano)
{
    size_t bit = 0;
    auto leeBit = [&]() {
        int valor = bit / 8 < flujo.size() ? (static_cast<uint8_t>(flujo[bit / 8]) >> (7 - bit % 8)) & 1 : 0;
        ++bit;
        return valor;
    };
    IniciaHuffman();
    Lectura lectura;
    for (size_t producidos = 0; producidos < tamano;) {
        int nodo = Hijo[Raiz];
        while (nodo < MarcaHoja)
            nodo = Hijo[nodo + leeBit()];
        const int simbolo = nodo - MarcaHoja;
        Actualiza(simbolo);
        lectura.simbolos.push_back(simbolo);
        if (simbolo < PrimerSimboloLongitud) {
            ++producidos;
            continue;
        }
        int b = 0;
        for (int i = 0; i < 8; ++i)
            b = b << 1 | leeBit();
        const int u = vuvodiv::PrefijoPorOcteto[b];
        for (int n = vuvodiv::LargoPorOcteto[b] - 2; n > 0; --n)
            b = b << 1 | leeBit();
        lectura.maximaPosicion = std::max(lectura.maximaPosicion, (b & 0x3F) | (u << BitsPosicionBajos));
        producidos += static_cast<size_t>(simbolo - DesplazamientoLongitud);
    }
    return lectura;
}

uint32_t TomaTamano(const std::string& archivo, size_t pos)
{
    uint32_t tamano = 0;
    for (size_t i = 0; i < 4; ++i)
        tamano = tamano << 8 | static_cast<uint8_t>(archivo[pos + i]);
    return tamano;
}

void CompruebaIdaYVuelta(const std::string& datos)
{
    const std::string flujo = CodificaOptimo(datos);
    if (datos.empty())
        return;   // nothing to decode: the member is stored
    EXPECT_TRUE(Decodifica(flujo, datos.size()) == datos) << datos.size() << " bytes differ";
}

}  // namespace

// ---- Round trips ----------------------------------------------------------
// Would catch a path coded with the wrong symbol, length or position, a
// block or buffer boundary that drops or repeats bytes, or a match read past
// the input's end.

TEST(OptimoIdaYVuelta, EdgeInputs)
{
    int menor = -1;
    EXPECT_EQ(CodificaOptimo("", &menor), "");
    EXPECT_EQ(menor, 0);
    CompruebaIdaYVuelta("x");
    CompruebaIdaYVuelta("ab");
    CompruebaIdaYVuelta(std::string(100, ' ') + "after the spaces");
    CompruebaIdaYVuelta(std::string(5000, ' '));
    CompruebaIdaYVuelta(std::string(70000, 'a'));
    std::string pares;
    for (int i = 0; i < 30000; ++i)
        pares += static_cast<char>('a' + i % 2);
    CompruebaIdaYVuelta(pares);
    CompruebaIdaYVuelta(DatosAleatorios(20000, 7));
    CompruebaIdaYVuelta(EntradaProfunda());
}

// Sizes around the block (8192 bytes, parsed with 120 more) and well past
// the input buffer (64 KiB) and the model's first rebuild.
TEST(OptimoIdaYVuelta, BlockAndBufferBoundaries)
{
    for (size_t tamano : {8191u, 8192u, 8193u, 8312u, 8313u, 8372u, 16384u})
        CompruebaIdaYVuelta(TextoDePrueba(tamano, static_cast<uint32_t>(tamano)));
    std::string mezcla = TextoDePrueba(150000, 3) + DatosAleatorios(30000, 4) + TextoDePrueba(150000, 5);
    CompruebaIdaYVuelta(mezcla);
}

// ---- Reach ----------------------------------------------------------------
// Would catch matches farther back than the greedy encoder's 4036 bytes (a
// stream no default archive holds), a bound set too short, or window spaces
// left unmatched.

// A 60-byte string repeated 4036 and 4037 bytes after its first copy.
TEST(OptimoAlcance, MatchesReachExactly4036BytesBack)
{
    const std::string cadena = DatosAleatorios(60, 11);
    for (int distancia : {4036, 4037}) {
        std::string datos = cadena + DatosAleatorios(static_cast<size_t>(distancia) - 60, 12) + cadena;
        const std::string flujo = CodificaOptimo(datos);
        Lectura lectura = LeeFlujo(flujo, datos.size());
        if (distancia == 4036)
            EXPECT_EQ(lectura.maximaPosicion, 4035);
        else
            EXPECT_LT(lectura.maximaPosicion, 4036);
        EXPECT_TRUE(Decodifica(flujo, datos.size()) == datos);
    }
}

TEST(OptimoAlcance, LeadingSpacesMatchTheWindow)
{
    Lectura lectura = LeeFlujo(CodificaOptimo(std::string(60, ' ') + "x"), 61);
    ASSERT_EQ(lectura.simbolos.size(), 2u);
    EXPECT_EQ(lectura.simbolos[0], 60 + DesplazamientoLongitud);
    EXPECT_EQ(lectura.simbolos[1], 'x');
}

// ---- The parse ------------------------------------------------------------
// Would catch a shortest-path search that misses cheaper edges or mislinks
// its steps: the greedy path is one of the paths it searches, so where there
// are matches to choose among its stream is no longer than the greedy
// encoder's, and on text clearly shorter.

TEST(OptimoCamino, NeverLongerThanTheGreedyStream)
{
    std::string runs;
    for (int i = 0; i < 400; ++i)
        runs += std::string(static_cast<size_t>(1 + i % 70), static_cast<char>('a' + i % 3));
    const std::string texto = TextoDePrueba(60000, 21);
    for (const std::string& datos : {texto, runs, EntradaProfunda()}) {
        const size_t optimo = CodificaOptimo(datos).size();
        const size_t voraz = CodificaVoraz(datos).size();
        EXPECT_LE(optimo, voraz) << datos.size() << " bytes";
        if (&datos == &texto) {
            EXPECT_LT(optimo * 100, voraz * 97) << "text leaves the parse nothing to gain";
        }
    }
}

// ---- The member driver ----------------------------------------------------
// Would catch the mode reaching default archives, or --best members that the
// restorer program refuses or stores wrongly.

TEST(OptimoMiembros, DriverUsesTheModeAndTheRestorerTakesIt)
{
    CarpetaTemporal carpeta;
    const std::string texto = TextoDePrueba(40000, 31);
    const std::string azar = DatosAleatorios(3000, 32);
    EscribeArchivo(carpeta / "texto", texto);
    EscribeArchivo(carpeta / "azar", azar);
    char anterior[4096];
    ASSERT_NE(getcwd(anterior, sizeof anterior), nullptr);
    ASSERT_EQ(chdir(carpeta.Ruta().c_str()), 0);
    std::string archivos[2];
    for (int modo = 0; modo < 2; ++modo) {
        dedezodi::ModoOptimo = modo == 1;
        Salida = fopen("x.cmp", "wb+");
        char nombreTexto[] = "texto", nombreAzar[] = "azar";
        char* const nombres[] = {nombreTexto, nombreAzar};
        ASSERT_EQ(dedezodi::TomaNombres(nombres, 2, nullptr, TipoBinario), 2);
        dedezodi::EmpaquetaMiembros(2);
        dedezodi::EscribeFalsaCabecera();
        archivos[modo] = LeeTodo(Salida);
        fclose(Salida);
    }
    dedezodi::ModoOptimo = false;
    ASSERT_EQ(chdir(anterior), 0);

    // Header and LZH data of the text, then header and stored bytes of the
    // random file, whose longer LZH attempt may linger past the archive's end.
    const std::string& mejor = archivos[1];
    const uint32_t datosTexto = TomaTamano(mejor, PosTamanoComprimido);
    EXPECT_LT(datosTexto, TomaTamano(archivos[0], PosTamanoComprimido));
    EXPECT_EQ(mejor[PosMetodo], MetodoLZH);
    EXPECT_TRUE(mejor.substr(TamCabecera, datosTexto) == CodificaOptimo(texto));
    EXPECT_EQ(mejor[TamCabecera + datosTexto + PosMetodo], MetodoPlano);

    CarpetaTemporal vuelta;
    EscribeArchivo(vuelta / "x.cmp", mejor);
    Resultado r = EjecutaPrograma(VUVODIV_BIN, {"x"}, vuelta.Ruta());
    ASSERT_EQ(r.estado, 0) << r.salida;
    EXPECT_TRUE(LeeArchivo(vuelta / "texto") == texto);
    EXPECT_TRUE(LeeArchivo(vuelta / "azar") == azar);
}
