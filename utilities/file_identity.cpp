#include "utilities/file_identity.h"

#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace fs = std::filesystem;

namespace corretor {

std::string identidadeDoArquivo(const std::string& nome)
{
    struct stat st
    {
    };
    if (stat(nome.c_str(), &st) == 0)
        return "#" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    std::error_code erro;
    const fs::path caminho = fs::weakly_canonical(fs::absolute(nome), erro);
    return erro ? fs::absolute(nome).lexically_normal().string() : caminho.string();
}

} // namespace corretor
