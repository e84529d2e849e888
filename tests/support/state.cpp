// Built into every test program with TESTE_CAMADA, the highest layer the program links:
// 0 utilities, 1 mesh (and calibration, which holds no process-wide state of its own),
// 2 correction, 3 authoring and the tools. A program resets the state of the layers it has.
#include "tests/support/state.h"

#include "utilities/report.h"
#if TESTE_CAMADA >= 1
#include "mesh/mesh_store.h"
#endif
#if TESTE_CAMADA >= 2
#include "correction/warp.h"
#endif
#if TESTE_CAMADA >= 3
#include "authoring/point_picking.h"
#endif

#include <gtest/gtest.h>

void teste::estadoInicial()
{
    corretor::limparFalha();
#if TESTE_CAMADA >= 1
    corretor::limparMalha();
#endif
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
