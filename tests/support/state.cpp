// Built into every test program with TESTE_CAMADA, the layer the program links: 1 mesh,
// 2 correction, 3 authoring. A program resets the state of the layers it has.
#include "tests/support/state.h"

#include "mesh/mesh_store.h"
#include "utilities/report.h"
#if TESTE_CAMADA >= 2
#include "correction/warp.h"
#endif
#if TESTE_CAMADA >= 3
#include "authoring/point_picking.h"
#endif

#include <gtest/gtest.h>

void teste::estadoInicial()
{
    corretor::limparMalha();
    corretor::limparFalha();
#if TESTE_CAMADA >= 2
    corretor::usarFormaPortavel(false);
#endif
#if TESTE_CAMADA >= 3
    corretor::reiniciarMarcacao();
#endif
}

namespace {

// Every test starts from the state of a program that has just started.
class DoInicio : public testing::EmptyTestEventListener
{
    void OnTestStart(const testing::TestInfo&) override { teste::estadoInicial(); }
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new DoInicio);
    return RUN_ALL_TESTS();
}
