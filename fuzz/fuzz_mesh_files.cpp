// Fuzz target for the mesh loader: the input is one of the mesh files, chosen at build time by
// FUZZ_MESH_FILE (0 vertex file, 1 triangle file, 2 matrix file), read by its own loader.
// Whatever the bytes, the loader must end, never write past a table, and either load or record
// a reason.
#include "fuzz/fuzz_workspace.h"
#include "mesh/mesh_store.h"
#include "utilities/report.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::enterWorkspace();
    fuzz::writeFile("data/verticesamp4.txt", "0 0\n100 0\n0 100\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace corretor;
    limparMalha();
    limparFalha();
    bool carregou = false;
    switch (FUZZ_MESH_FILE) {
    case 0:
        fuzz::writeFile("data/vertices2.txt", data, size);
        carregou = carregarVertices();
        break;
    case 1:
        fuzz::writeFile("data/quelvarina.txt", data, size);
        carregou = carregarTriangulos() >= 0;
        for (const auto& t : trg)
            for (int v : t)
                if (v < 0 || v >= kNos) std::abort(); // an index the tables cannot hold
        break;
    default:
        fuzz::writeFile("matrix/57.txt", data, size);
        carregou = carregarMatriz(57);
        break;
    }
    if (carregou == houveFalha()) std::abort(); // a failure always comes with a reason
    if (houveFalha() && motivoFalha().empty()) std::abort();
    return 0;
}
