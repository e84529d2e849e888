// corrigir-lote: corrects many images through the workspace's mesh, without questions.
#include "tools/corrigir/batch_cli.h"
#include "utilities/program_setup.h"

int main(int argc, char** argv)
{
    return corretor::executarPrograma("corrigir-lote",
                                      [&] { return corretor::executarLote(argc, argv); });
}
