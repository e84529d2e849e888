// What every program of the system does around its work.
#pragma once

#include <functional>

namespace corretor {

// Makes a write beyond a file-size limit fail with an error instead of ending the process
// (ignorarSinalDeTamanho, utilities/whole_file.h); removes the temporary files of interrupted
// saves on SIGINT, SIGTERM, SIGHUP and SIGPIPE (utilities/temporary_files.h); silences the
// image library's own log lines, since the programs word every failure themselves, naming the
// file; and bounds the size of an image that the library decodes from a format whose header the
// system does not read (correction/image_file.h) to what a fourfold enlargement allows.
void prepararPrograma();

// The whole program `programa`: prepararPrograma, then `corpo`, whose exit status it returns.
// Anything `corpo` throws (the image library's exceptions, a lack of memory) is worded in
// Portuguese on standard error as "<programa>: erro: ..." and gives status 1: no library text
// and no abort reach the user.
int executarPrograma(const char* programa, const std::function<int()>& corpo);

} // namespace corretor
