// Temporary files that an interruption must not leave behind.
//
// A file written whole (utilities/whole_file.h) lives as a hidden temporary file until it is
// renamed over its name. Every such file is registered here while it exists; when the process
// is ended by SIGINT, SIGTERM, SIGHUP or SIGPIPE, the handler removes the registered files and
// the process then dies of the same signal, as it would have without the handler.
#pragma once

#include <csignal>
#include <string>

namespace corretor {

// Installs the handler for the four signals, once; a signal the process was started ignoring
// (nohup, say) stays ignored. prepararPrograma (utilities/program_setup.h) calls it.
void apagarTemporariosNosSinais();

// Registers `caminho` for removal on those signals. Register a name before the file is created,
// so that no moment exists in which the file is there and not registered (removing a name that
// is not there yet does no harm). Returns the slot to give back, or -1 when every slot is taken
// or the name is too long: the file must then not be made, since a signal would leave it.
int registrarTemporario(const std::string& caminho);

// Around registering a temporary name and creating its file: while a thread is between the
// two, a signal's handler waits (a little) before it removes the registered files, so that a
// file created on another thread at that moment is not left behind. entrarNaCriacao returns
// false, entering nothing, once the process is ending: the caller creates nothing then.
bool entrarNaCriacao();
void sairDaCriacao();

// Forgets the slot `vaga` (after its file was renamed or removed); -1 is ignored.
void esquecerTemporario(int vaga);

// While any such object lives, in any thread, the four signals are only noted; when the last one
// goes, a noted signal ends the process as above. For a step that must not be cut half way,
// such as renaming several files over their names.
class SinaisAdiados
{
public:
    SinaisAdiados();
    ~SinaisAdiados();
    SinaisAdiados(const SinaisAdiados&) = delete;
    SinaisAdiados& operator=(const SinaisAdiados&) = delete;
};

} // namespace corretor
