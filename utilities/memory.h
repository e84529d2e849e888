// How much memory the process can still take, and claims on it by threads that are about to
// allocate.
#pragma once

#include <cstdint>
#include <string>

namespace corretor {

// Bytes the process can still allocate: the least of the memory the system reports as
// available, the room an address-space limit of the process (ulimit -v) leaves, and the room
// the memory limit of the process's control group leaves (cgroup v2 memory.max, v1
// memory.limit_in_bytes, of its own group and every group above it, less what each uses, page
// cache that can be dropped aside). Returns UINT64_MAX when none can be read.
uint64_t memoriaDisponivel();

// The same, with every file read below the folder `raiz` ("/proc/meminfo" as
// raiz + "/proc/meminfo"), for tests that build such a tree.
uint64_t memoriaDisponivelEm(const std::string& raiz);

// The bytes that ReservaDeMemoria objects hold at the moment, together. Memory that would be
// free if every claim were given back is at most memoriaDisponivel() + memoriaReservada(): the
// bound for asking whether something fits at all, while other threads hold claims.
uint64_t memoriaReservada();

// A claim on `bytes` of the available memory by a thread that is about to allocate them, held
// until the object goes. Threads that correct images at once each claim what their image needs
// before allocating, so that together they never ask for more than there is: a claim that does
// not fit beside the others waits until they are released, and is refused only when it does
// not fit even alone. memoriaDisponivel() is read at the claim; the claims of the others are
// taken from it as if none of their memory were in use yet.
class ReservaDeMemoria
{
public:
    ReservaDeMemoria() = default;
    ~ReservaDeMemoria() { liberar(); }
    ReservaDeMemoria(const ReservaDeMemoria&) = delete;
    ReservaDeMemoria& operator=(const ReservaDeMemoria&) = delete;

    // Replaces the claim held by this object with one of `bytes`. Returns false, holding
    // nothing, when `bytes` exceed the available memory with no other claim held; `livre` then
    // tells the available memory.
    bool reservar(uint64_t bytes, uint64_t& livre);

    // Gives the claim back.
    void liberar();

    uint64_t bytes() const { return bytes_; }

private:
    uint64_t bytes_ = 0;
};

} // namespace corretor
