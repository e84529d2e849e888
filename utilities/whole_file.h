// Files written whole or not at all.
#pragma once

#include <cstddef>
#include <string>

namespace corretor {

// Writes `tamanho` bytes from `dados` to a new temporary file in the folder of `caminho` (a
// local path, "/" separated) and renames it over `caminho`, with the permissions any new file
// of the user gets. Returns true on success; on failure returns false, recording why, and
// leaves neither a temporary file nor a changed `caminho` behind.
bool gravarArquivoInteiro(const std::string& caminho, const void* dados, std::size_t tamanho);

inline bool gravarArquivoInteiro(const std::string& caminho, const std::string& conteudo)
{
    return gravarArquivoInteiro(caminho, conteudo.data(), conteudo.size());
}

} // namespace corretor
