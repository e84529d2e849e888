#include "mesh/mesh_store.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace corretor {

int vert[kNos][2];
int vert2[kNos][2];
int trg[kTriangulos][3];
st_mat matrix[kTriangulos];
char arq3[20];
FILE* fp;

void nomeArquivo(int n)
{
    // "matrix\-2147483648.txt" would need 23 characters; arq3 holds 20, so a name that does not
    // fit is cut short. Triangle numbers 0 to 98 need at most 13.
    std::snprintf(arq3, sizeof arq3, "matrix\\%d.txt", n);
}

void mostrarVertices()
{
    for (const auto& no : vert)
        std::printf("%d %d\n", no[0], no[1]);
    std::printf("\n\n");
    for (const auto& t : trg)
        std::printf("%d %d %d\n", t[0], t[1], t[2]);
}

TabelasDaMalha copiarMalha()
{
    TabelasDaMalha tabelas{};
    std::memcpy(tabelas.vert, vert, sizeof vert);
    std::memcpy(tabelas.vert2, vert2, sizeof vert2);
    std::memcpy(tabelas.trg, trg, sizeof trg);
    std::copy(std::begin(matrix), std::end(matrix), std::begin(tabelas.matrix));
    return tabelas;
}

void colocarMalha(const TabelasDaMalha& tabelas)
{
    std::memcpy(vert, tabelas.vert, sizeof vert);
    std::memcpy(vert2, tabelas.vert2, sizeof vert2);
    std::memcpy(trg, tabelas.trg, sizeof trg);
    std::copy(std::begin(tabelas.matrix), std::end(tabelas.matrix), std::begin(matrix));
}

void limparMalha()
{
    std::memset(vert, 0, sizeof vert);
    std::memset(vert2, 0, sizeof vert2);
    std::memset(trg, 0, sizeof trg);
    std::fill(std::begin(matrix), std::end(matrix), st_mat{});
}

} // namespace corretor
