// The list packed by several threads writes the single-threaded archive:
// the same chains of members, packed in one process as the program packs
// them, give the same archive with 1 thread and with several, whether the
// threads take whole members or share the trees of one.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sched.h>
#include <unistd.h>

#include "arbol.h"
#include "ayuda.h"
#include "dedezodi.h"
#include "procesadores.h"

using namespace dedezodi;

namespace {

// Packs the inputs as one list, as the program does, with `hilos` threads,
// and returns the archive; every chain starts from a fresh process's window.
// Checks that the work was shared the way the count says: with one thread
// no other thread packs a member or replays a slide; with several, the
// second member is packed by a worker when it and another have 119 bytes or
// more, and a lone member of two rounds or more has its slides replayed by
// workers.  With `lineas`, the members' console lines are left there.
std::string PackChain(const std::vector<std::string>& entradas, int hilos, std::string* lineas = nullptr)
{
    CarpetaTemporal carpeta;
    std::vector<std::string> nombres;
    std::vector<char*> argumentos;
    for (size_t i = 0; i < entradas.size(); ++i) {
        nombres.push_back("m" + std::to_string(i));
        EscribeArchivo(carpeta / nombres[i], entradas[i]);
    }
    for (std::string& nombre : nombres)
        argumentos.push_back(nombre.data());
    EXPECT_EQ(TomaNombres(argumentos.data(), static_cast<int>(argumentos.size()), nullptr, TipoBinario),
              static_cast<int>(entradas.size()));
    char anterior[4096];
    EXPECT_NE(getcwd(anterior, sizeof anterior), nullptr);
    EXPECT_EQ(chdir(carpeta.Ruta().c_str()), 0);
    EligeConsola(false, lineas == nullptr);
    if (lineas)
        Consola = tmpfile();
    const int antes = NumHilos;
    const int miembros = MiembrosAjenos;
    const uint64_t deslizadas = DeslizadasAjenas;
    NumHilos = hilos;
    memset(Texto, 0, sizeof Texto);
    Salida = tmpfile();
    EmpaquetaMiembros(static_cast<int>(entradas.size()));
    std::string archivo = LeeTodo(Salida);
    fclose(Salida);
    Salida = nullptr;
    if (lineas) {
        *lineas = LeeTodo(Consola);
        fclose(Consola);
        EligeConsola(false, true);
    }
    NumHilos = antes;
    EXPECT_EQ(chdir(anterior), 0);

    int largos = 0;
    for (const std::string& entrada : entradas)
        largos += entrada.size() >= 119;
    if (hilos == 1) {
        EXPECT_EQ(MiembrosAjenos, miembros);
        EXPECT_EQ(DeslizadasAjenas, deslizadas);
    } else if (entradas.size() > 1 && largos > 1 && entradas[1].size() >= 119) {
        // A worker packed a member, or shared the trees of a big one.
        EXPECT_TRUE(MiembrosAjenos > miembros || DeslizadasAjenas > deslizadas) << "no work done by a worker";
    } else if (entradas.size() == 1 && entradas[0].size() >= MinimoCompartido) {
        EXPECT_GT(DeslizadasAjenas, deslizadas) << "no slide replayed by a worker";
    }
    return archivo;
}

// Binary-like data: records of a few bytes among long runs of zeros, so the
// zero tree does most of the work.
std::string ZerosAndRecords(size_t tamano, uint32_t semilla)
{
    std::string datos(tamano, '\0');
    const std::string ruido = DatosAleatorios(tamano / 8 + 1, semilla);
    for (size_t i = 0; i < ruido.size(); ++i)
        if (i % 3 == 0)
            datos[(i * 8 + static_cast<unsigned char>(ruido[i]) % 8) % tamano] = ruido[i];
    return datos;
}

void ExpectSameForEveryCount(const std::vector<std::string>& cadena)
{
    const std::string uno = PackChain(cadena, 1);
    for (int hilos : {2, 3, 5})
        EXPECT_TRUE(PackChain(cadena, hilos) == uno) << hilos << " threads";
}

}  // namespace

// Catches a thread's window that does not start a member as the previous
// member left it (a short member reads bytes the one before wrote at
// 4036..4154), or an empty member handled differently.  The first member
// fills those bytes, so every chain starts from the same window; the second
// is long, so a worker packs it.
TEST(HilosDedezodi, ShortMembersAfterOthersAsOneThread)
{
    std::vector<std::string> cadena = {TextoDePrueba(5000, 1), TextoDePrueba(3000, 14), "", TextoDePrueba(61, 2), "a",
                                       std::string(59, ' '), "", TextoDePrueba(120, 3),
                                       DatosAleatorios(130, 4), std::string(60, '\0'), "",
                                       TextoDePrueba(3, 5)};
    // Pairs where the second member's stream changes when the bytes the
    // first leaves at 4061..4095 and 4096..4154 change (found by search).
    // Each pair uses other trees, so some thread other than the coder owns
    // one whatever the map.
    const char* const pares[][2] = {
        {"acbbbcbbaacabacbccbabaccbbccccbacbccacbacaabcbcbbaabcbaccbcccbabbbacccacabcccbcaababcbbbbbaabbcbcacacbcbcccbbbccbbbabcca",
         "cacaaaaaacaccbcacaaacbaaa"},
        {"xzyyyzyyxxzxyxzyzzyxyxzzyyzzzzyxzyzzxzyxzxxyzyzyyxxyzyxzzyzzzyxyyyxzzzxzxyzzzyzxxyxyzyyyyyxxyyzyzxzxzyzyzzzyyyzzyyyxyzzx",
         "zxzxxxxxxzxzzyzxzxxxzyxxx"},
        {"kmlllmllkkmklkmlmmlklkmmllmmmmlkmlmmkmlkmkklmlmllkklmlkmmlmmmlklllkmmmkmklmmmlmkklklmlllllkkllmlmkmkmlmlmmmlllmmlllklmmk",
         "mkmkkkkkkmkmmlmkmkkkmlkkk"},
        {"dfeeefeeddfdedfeffededffeeffffedfeffdfedfddefefeeddefedffefffedeeedfffdfdefffefddedefeeeeeddeefefdfdfefefffeeeffeeedeffd",
         "fdfddddddfdffefdfdddfeddd"},
    };
    for (const auto& par : pares) {
        cadena.push_back(par[0]);
        cadena.push_back(par[1]);
    }
    ExpectSameForEveryCount(cadena);
}

// Catches a round cut at the wrong slide, a tree moved between threads with
// links missing, or a step's match taken from a thread that did not insert
// it: members of several blocks whose busiest tree changes midway (text,
// then mostly zeros), sizes at a block's edges, and random bytes, each the
// list's only member so that its trees are shared; then all of them in one
// list, so that workers take whole members, stored ones among them.
TEST(HilosDedezodi, LongMembersAcrossBlocksAsOneThread)
{
    const std::string mezcla = TextoDePrueba(50000, 6) + ZerosAndRecords(60000, 7) + TextoDePrueba(20000, 8);
    const size_t ronda = MinimoCompartido / 2;
    const std::vector<std::string> miembros = {mezcla, ZerosAndRecords(100000, 9), TextoDePrueba(2 * ronda, 10),
                                               TextoDePrueba(2 * ronda + 1 + 59, 11),
                                               DatosAleatorios(3 * ronda + 1, 12), std::string(70000, '\0'),
                                               TextoDePrueba(2, 13)};
    for (const std::string& miembro : miembros)
        ExpectSameForEveryCount({miembro});
    ExpectSameForEveryCount(miembros);
}

// Catches a member packed by a worker drawn otherwise than one thread draws
// it: its bar, the stored copy's second bar, its percentage.
TEST(HilosDedezodi, MemberLinesAsOneThread)
{
    const std::vector<std::string> cadena = {TextoDePrueba(5000, 1), DatosAleatorios(3000, 2),
                                             TextoDePrueba(40000, 3), DatosAleatorios(200, 4)};
    std::string uno, varios;
    const std::string archivo = PackChain(cadena, 1, &uno);
    const int miembros = MiembrosAjenos;
    EXPECT_TRUE(PackChain(cadena, 3, &varios) == archivo);
    EXPECT_GT(MiembrosAjenos, miembros) << "no member packed by a worker";
    EXPECT_EQ(varios, uno);
    EXPECT_NE(uno.find("100%"), std::string::npos) << uno;   // a stored member was drawn
}

// Catches -j not reaching the thread count, or "one per CPU" counting the
// CPUs online rather than those the process may use: pinned to one CPU, the
// default is one thread, the plain path.
TEST(HilosDedezodi, DefaultIsOnePerUsableCpu)
{
    char programa[] = "Dedezodi", j[] = "-j3", base[] = "x";
    char* conJ[] = {programa, j, base, nullptr};
    char* sinJ[] = {programa, base, nullptr};
    ASSERT_EQ(LeeOpciones(2 + 1, conJ), 2);
    EXPECT_EQ(NumHilos, 3);

    cpu_set_t antes, una;
    ASSERT_EQ(sched_getaffinity(0, sizeof antes, &antes), 0);
    CPU_ZERO(&una);
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &antes)) {
            CPU_SET(c, &una);
            break;
        }
    ASSERT_EQ(sched_setaffinity(0, sizeof una, &una), 0);
    EXPECT_EQ(CuentaProcesadores(), 1);
    ASSERT_EQ(LeeOpciones(2, sinJ), 1);
    EXPECT_EQ(NumHilos, 1);
    ASSERT_EQ(sched_setaffinity(0, sizeof antes, &antes), 0);
    EXPECT_EQ(CuentaProcesadores(), std::min(CPU_COUNT(&antes), CuentaProcesadores()));
    NumHilos = 1;
}
