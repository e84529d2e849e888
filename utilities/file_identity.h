// Which file a name names, so that two names of one file meet.
#pragma once

#include <string>

namespace corretor {

// One key for every name of one file: its device and inode when it exists, so that spellings
// ("./a.jpg", "x/../a.jpg") and links meet; otherwise the name with ".", ".." and links resolved.
std::string identidadeDoArquivo(const std::string& nome);

} // namespace corretor
