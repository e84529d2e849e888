#include "utilities/working_folder.h"

#include "utilities/report.h"

namespace corretor {

namespace fs = std::filesystem;

bool trabalharEm(const fs::path& pasta, const std::function<bool()>& trabalho)
{
    std::error_code erro;
    const fs::path antes = fs::current_path(erro);
    if (!erro) fs::current_path(pasta, erro);
    if (erro) {
        falhar("não foi possível entrar na pasta \"" + pasta.string() +
               "\": " + textoDoErro(erro.value()));
        return false;
    }
    const bool ok = trabalho();
    fs::current_path(antes, erro);
    if (erro) {
        falhar("não foi possível voltar à pasta \"" + antes.string() +
               "\": " + textoDoErro(erro.value()));
        return false;
    }
    return ok;
}

} // namespace corretor
