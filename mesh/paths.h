// File names of the workspace.
//
// The system writes its workspace names with "\" between folder and file ("data\pattern.jpg",
// "matrix\7.txt"). On this platform the folder separator is "/"; every name passes through
// caminhoLocal before it reaches the file system.
#pragma once

#include <string>

namespace corretor {

// Returns `nome` with every "\" replaced by "/". Takes a NUL-terminated name; assumes nothing
// else about it.
std::string caminhoLocal(const char* nome);

} // namespace corretor
