// corrigir: corrects the distortion of one image through the workspace's mesh.
#include "tools/corrigir/driver_cli.h"
#include "utilities/program_setup.h"

int main(int argc, char** argv)
{
    return corretor::executarPrograma("corrigir",
                                      [&] { return corretor::executarCorrigir(argc, argv); });
}
