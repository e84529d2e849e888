// File names of the workspace.
//
// The system writes its workspace names with "\" between folder and file ("data\pattern.jpg",
// "matrix\7.txt"). On this platform the folder separator is "/"; every name passes through
// caminhoLocal before it reaches the file system.
#pragma once

#include <string>
#include <vector>

namespace corretor {

// Returns `nome` with every "\" replaced by "/". Takes a NUL-terminated name; assumes nothing
// else about it.
std::string caminhoLocal(const char* nome);

// The local names of the mesh files of a workspace: "data/verticesamp4.txt",
// "data/vertices2.txt", "data/quelvarina.txt", then "matrix/0.txt" to "matrix/98.txt".
std::vector<std::string> nomesDaMalha();

// The file that stands in the workspace while a whole mesh is being replaced, "data/malha-
// incompleta": made before the first mesh file is replaced and removed after the last, so that a
// replacement cut short (even by SIGKILL, which no program can catch) leaves it behind. In the
// workspace `pasta`, the working folder by default.
std::string caminhoDaMalhaIncompleta(const std::string& pasta = ".");

// False, recording "a malha está incompleta ...", when that file exists in the workspace `pasta`:
// the mesh files may be part old and part new, and a correction with them would be wrong.
bool malhaCompleta(const std::string& pasta = ".");

} // namespace corretor
