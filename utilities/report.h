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

#include <string>

namespace corretor {

// Records why the current operation failed. The first reason since limparFalha() is kept:
// later failures are usually consequences of the first.
void falhar(const std::string& motivo);

// True when a reason has been recorded since the last limparFalha().
bool houveFalha();

// The recorded reason, or an empty string.
const std::string& motivoFalha();

// Forgets the recorded reason.
void limparFalha();

// The system error `erro` (an errno value) in Portuguese words ("não existe", "é uma pasta",
// "sem espaço no disco", ...), for messages; the C library's own text for a rare one.
std::string textoDoErro(int erro);

// Prints "aviso: <texto>" and a line end on standard error, after flushing standard output
// so that the two streams stay in order on a shared console.
void avisar(const std::string& texto);

// Prints "<programa>: erro: <motivo recorded>" on standard error (same flushing as avisar).
void relatarFalha(const char* programa);

} // namespace corretor
