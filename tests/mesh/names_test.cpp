#include "mesh/mesh_store.h"
#include "mesh/paths.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace corretor;

TEST(Mesh_NomeArquivo, builds_matrix_names_with_backslash)
{
    nomeArquivo(7);
    EXPECT_STREQ("matrix\\7.txt", arq3);
    nomeArquivo(98);
    EXPECT_STREQ("matrix\\98.txt", arq3);
    EXPECT_EQ("matrix/98.txt", caminhoLocal(arq3));
}

TEST(Mesh_NomeArquivo, never_writes_past_its_buffer)
{
    // A write beyond arq3 is what the sanitizer build catches; here the name is cut short.
    nomeArquivo(INT_MIN);
    EXPECT_STREQ("matrix\\-2147483648.", arq3);
    nomeArquivo(-1);
    EXPECT_STREQ("matrix\\-1.txt", arq3);
}

TEST(Mesh_MostrarVertices, prints_the_empty_store)
{
    limparMalha();
    testing::internal::CaptureStdout();
    mostrarVertices();
    std::string expected;
    for (int k = 0; k < 64; ++k)
        expected += "0 0\n";
    expected += "\n\n";
    for (int t = 0; t < 99; ++t)
        expected += "0 0 0\n";
    EXPECT_EQ(expected, testing::internal::GetCapturedStdout());
}
