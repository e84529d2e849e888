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

// Registers `caminho` for removal on those signals. Returns the slot to give back, or -1 when
// every slot is taken or the name is too long (the file is then not removed on a signal).
int registrarTemporario(const std::string& caminho);

// Forgets the slot `vaga` (its file was renamed or removed); -1 is ignored.
void esquecerTemporario(int vaga);

// Holds the four signals back on the calling thread while it lives: a file created and
// registered, or renamed and forgotten, inside such a block is never caught half way.
class SinaisAdiados
{
public:
    SinaisAdiados();
    ~SinaisAdiados();
    SinaisAdiados(const SinaisAdiados&) = delete;
    SinaisAdiados& operator=(const SinaisAdiados&) = delete;

private:
    sigset_t antes_;
};

} // namespace corretor
