// The program corrigir-lote.
#pragma once

namespace corretor {

// Reads the options and the images (from the command line and list files), keeps the part
// asked for and the images whose results are not up to date when asked, loads the mesh and
// the pattern once, corrects the images with one worker per core the process may run on (at
// most one per image), shows one progress line and reports each failure on standard error. Returns
// the exit status (utilities/command_line.h): kSaidaOk when every image was corrected, kSaidaFalha
// when any failed or nothing could start (mesh, pattern, folder), kSaidaUso for a command line it
// does not take (names that clash included).
int executarLote(int argc, const char* const* argv);

} // namespace corretor
