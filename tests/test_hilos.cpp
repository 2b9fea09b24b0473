// The encoder on several threads writes the single-threaded encoder's bytes:
// the same chains of members, packed in one process as the driver packs
// them, give the same streams and verdicts with 1 thread and with several.

#include <gtest/gtest.h>

#include "ayuda.h"
#include "dedezodi.h"

using namespace dedezodi;

namespace {

// Packs each input in turn as the driver would, with `hilos` threads, and
// returns every stream followed by its verdict (LZH smaller or not).
std::string PackChain(const std::vector<std::string>& entradas, int hilos)
{
    const int antes = NumHilos;
    NumHilos = hilos;
    std::string todo;
    for (const std::string& entrada : entradas) {
        Entrada = tmpfile();
        Salida = tmpfile();
        fwrite(entrada.data(), 1, entrada.size(), Entrada);
        TamanoOriginal = static_cast<uint32_t>(entrada.size());
        EmpiezaPasada();
        const int menor = DedezodiLZH();
        rewind(Salida);
        for (int c; (c = getc(Salida)) != EOF;)
            todo += static_cast<char>(c);
        todo += menor ? "<" : ">";
        fclose(Entrada);
        fclose(Salida);
    }
    Entrada = Salida = nullptr;
    NumHilos = antes;
    return todo;
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
        EXPECT_EQ(PackChain(cadena, hilos), uno) << hilos << " threads";
}

}  // namespace

// Catches a thread's window that does not start a member as the previous
// member left it (a short member reads bytes the one before wrote at
// 4036..4154), or an empty member handled differently.  The first member
// fills those bytes, so every chain starts from the same window.
TEST(HilosDedezodi, ShortMembersAfterOthersAsOneThread)
{
    std::vector<std::string> cadena = {TextoDePrueba(5000, 1), "", TextoDePrueba(61, 2), "a",
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
// then mostly zeros), sizes at a block's edges, and random bytes.
TEST(HilosDedezodi, LongMembersAcrossBlocksAsOneThread)
{
    const std::string mezcla = TextoDePrueba(50000, 6) + ZerosAndRecords(60000, 7) + TextoDePrueba(20000, 8);
    ExpectSameForEveryCount({mezcla, ZerosAndRecords(100000, 9), TextoDePrueba(16384, 10),
                             TextoDePrueba(16385 + 59, 11), DatosAleatorios(32769, 12),
                             std::string(40000, '\0'), TextoDePrueba(2, 13)});
}
