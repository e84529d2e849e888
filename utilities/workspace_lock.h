// One writer per workspace at a time.
//
// Every program that writes mesh files holds an exclusive lock on the workspace folder while it
// runs; the correction programs hold a shared one while they read the mesh. The lock is the
// kernel's advisory lock (flock) on the folder itself: no lock file is made, and a process that
// ends, even killed, lets go of it at once. A program that finds the lock taken tries again for
// a bounded time (60 seconds, or the seconds of the environment variable
// CORRETOR_ESPERA_DA_PASTA), then gives up naming the program that holds it.
#pragma once

#include <string>

namespace corretor {

class TravaDaPasta
{
public:
    enum class Modo { Leitura, Escrita };

    TravaDaPasta() = default;
    ~TravaDaPasta();
    TravaDaPasta(const TravaDaPasta&) = delete;
    TravaDaPasta& operator=(const TravaDaPasta&) = delete;

    // Takes the lock of the folder `pasta` ("." for the working folder): shared for Leitura,
    // exclusive for Escrita, waiting as above. Returns false, recording why (the folder cannot be
    // opened, or who holds the lock), when it could not. A lock already held is let go first.
    bool travar(const std::string& pasta, Modo modo);

    // Lets go of the lock; nothing when none is held.
    void soltar();

private:
    int descritor_ = -1;
};

} // namespace corretor
