// Test support: the process-wide state of the system, put back as it is at start.
#pragma once

namespace teste {

// Empties the mesh store, forgets the recorded failure reason, and, in the test programs of the
// layers that hold them, makes the warp use its fastest form again and sets the picking counters,
// points and sequences back to zero. The tests' main calls it before every test; a table calls it
// between its rows.
void estadoInicial();

} // namespace teste
