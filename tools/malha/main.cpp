// malha: prepares and checks the correction mesh of a workspace (see tools/malha/malha_cli.h).
#include "tools/malha/malha_cli.h"
#include "utilities/program_setup.h"

int main(int argc, char** argv)
{
    return corretor::executarPrograma("malha", [&] { return corretor::executarMalha(argc, argv); });
}
