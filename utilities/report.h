// How the system tells what went wrong.
//
// An operation that fails records one reason here, worded in Portuguese and naming the file,
// line or value at fault, and passes a plain result (false, null, -1) up to its caller. Only a
// program's main turns the reason into a message on standard error and an exit status.
// Warnings are different: they do not stop anything, so they are printed at once.
//
// The recorded reason belongs to the thread that recorded it: a thread sees only its own
// failures, so workers that correct images at once never take each other's reasons.
#pragma once

#include <functional>
#include <string>

namespace corretor {

// Records why the current operation failed. The first reason since limparFalha() is kept:
// later failures are usually consequences of the first.
void falhar(const std::string& motivo);

// Puts `antes` in front of the recorded reason (to name the file a lower operation did not
// know); nothing when no reason is recorded.
void precederMotivo(const std::string& antes);

// True when a reason has been recorded since the last limparFalha().
bool houveFalha();

// The recorded reason, or an empty string.
const std::string& motivoFalha();

// Forgets the recorded reason.
void limparFalha();

// The system error `erro` (an errno value) in Portuguese words ("não existe", "é uma pasta",
// "sem espaço no disco", ...), for messages; the C library's own text for a rare one.
std::string textoDoErro(int erro);

// Called inside a catch block: the exception being handled, in Portuguese words ("falta
// memória", "erro interno da biblioteca de imagens (código -2)"), never the library's own text.
std::string motivoDaExcecao();

// Prints "aviso: <texto>" and a line end on standard error, after flushing standard output
// so that the two streams stay in order on a shared console. Control characters in the text
// (a file name can hold any byte) are shown escaped (escaparControles).
void avisar(const std::string& texto);

// Runs `corpo` and turns an exception that escapes it into the warning "<oQueFalhou>: <reason>":
// for code that C calls back (the window system's mouse callbacks) and for the callbacks of
// worker threads, which an exception must not leave. Nothing escapes, not even a failure to
// warn.
void semDeixarEscapar(const char* oQueFalhou, const std::function<void()>& corpo) noexcept;

// Prints "<programa>: erro: <motivo recorded>" on standard error, as avisar prints.
void relatarFalha(const char* programa);

// `texto` with every control character shown as an escape, so that a message can never move
// the cursor, retitle or clear the terminal: bytes below 32 and 127 as "\x1b", the UTF-8
// characters U+0080 to U+009F as "\u009b". Everything else is kept as it is.
std::string escaparControles(const std::string& texto);

// While at least one lives, what anything writes to standard error (file descriptor 2) is
// dropped: for the image decoders, which print their own lines there. The system's own
// messages still reach the real standard error meanwhile, through a saved descriptor. Any
// number may live at once on different threads (decodes run in parallel): the first one points
// descriptor 2 at /dev/null, the last one gives it back; no lock is held while they live.
class SilencioNoErro
{
public:
    SilencioNoErro();
    ~SilencioNoErro();
    SilencioNoErro(const SilencioNoErro&) = delete;
    SilencioNoErro& operator=(const SilencioNoErro&) = delete;
};

} // namespace corretor
