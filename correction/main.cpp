// corrigir: corrects the distortion of one image through the workspace's mesh.
#include "correction/driver.h"
#include "utilities/program_setup.h"

int main()
{
    return corretor::executarPrograma("corrigir", [] { return corretor::executarCorrecao(); });
}
