// What every program of the system does around its work.
#pragma once

#include <functional>

namespace corretor {

// The most pixels an image may have: the largest whose fourfold enlargement fits the image
// record (2^31 bytes, 48 bytes for each pixel of the image). Images are judged against it from
// their headers (correction/image_ops.h), and the library is given it as its own limit for the
// formats whose headers the system does not read.
constexpr long long kPixelsMaximos = (1LL << 31) / 48;

// Makes a write beyond a file-size limit fail with an error instead of ending the process
// (ignorarSinalDeTamanho, utilities/whole_file.h); removes the temporary files of interrupted
// saves on SIGINT, SIGTERM, SIGHUP and SIGPIPE (utilities/temporary_files.h); silences the
// image library's own log lines, since the programs word every failure themselves, naming the
// file; and bounds the size of an image that the library decodes from a format whose header the
// system does not read (correction/image_file.h) to what a fourfold enlargement allows.
void prepararPrograma();

// The cores this process may run on: what a scheduler allotted it (Slurm, taskset), or else
// every core of the machine.
int nucleosDisponiveis();

// The whole program `programa`: prepararPrograma, then `corpo`, whose exit status it returns.
// Anything `corpo` throws (the image library's exceptions, a lack of memory) is worded in
// Portuguese on standard error as "<programa>: erro: ..." and gives status 1: no library text
// and no abort reach the user.
int executarPrograma(const char* programa, const std::function<int()>& corpo);

} // namespace corretor
