// Whole text files written all at once.
#pragma once

#include <string>

namespace corretor {

// Writes `conteudo` to a new temporary file in the folder of `caminho` (a local path, "/"
// separated) and renames it over `caminho`. Returns true on success; on failure returns false,
// recording why, and leaves neither a temporary file nor a changed `caminho` behind.
bool gravarTextoInteiro(const std::string& caminho, const std::string& conteudo);

} // namespace corretor
