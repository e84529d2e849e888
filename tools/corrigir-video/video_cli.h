// The program corrigir-video.
#pragma once

namespace corretor {

// Reads the command line, refuses an output that would replace the input or a workspace file,
// loads the mesh and the pattern, corrects every frame of the input video on every core the
// process may run on (correction/frame_sequence.h) and writes the output whole, showing a
// progress line on a terminal. Returns the exit status (utilities/command_line.h): kSaidaOk when
// every frame was corrected and written, kSaidaFalha when anything failed (nothing is then left
// under the output's name), kSaidaUso for a command line it does not take.
int executarVideo(int argc, const char* const* argv);

} // namespace corretor
