#include "utilities/command_line.h"

#include "utilities/report.h"

namespace corretor {

int erroDeUso(const char* programa, const std::string& motivo)
{
    // Worded before the clearing: `motivo` may be the recorded reason itself.
    const std::string texto = motivo + "; veja \"" + programa + " --help\"";
    limparFalha();
    falhar(texto);
    relatarFalha(programa);
    limparFalha();
    return kSaidaUso;
}

} // namespace corretor
