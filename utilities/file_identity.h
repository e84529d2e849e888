// Which file a name stands for, so that two spellings of one file meet.
#pragma once

#include <string>

namespace corretor {

// One key for every name of one file: its device and inode when it exists, so that spellings
// ("./a.jpg", "x/../a.jpg") and links meet; otherwise the absolute name with ".", ".." and links
// resolved. Two names with equal keys name one file. Reads nothing but the file system's entries.
std::string identidadeDoArquivo(const std::string& nome);

} // namespace corretor
