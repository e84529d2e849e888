// What every program of the system does first.
#pragma once

namespace corretor {

// Makes a write beyond a file-size limit fail with an error instead of ending the process
// (ignorarSinalDeTamanho, utilities/whole_file.h), and silences the image library's own log
// lines: the programs word every failure themselves, naming the file.
void prepararPrograma();

} // namespace corretor
