// A demo workspace: everything the correction run needs, made from the demo's scene
// (calibration/sintetica/demo_scene.h) with the system's own steps and formats.
//
//   data/pattern.jpg        the reference pattern
//   amostra.jpg             the pattern through the demo's lens, the image to correct
//   data/verticesamp4.txt   source nodes, in the picture enlarged four times
//   data/vertices2.txt      target nodes, in the pattern
//   data/quelvarina.txt     the triangles, as "malha triangular" makes them
//   matrix/0.txt ...        the maps, as "malha matrizes" makes them
#pragma once

#include <string>

namespace corretor {

// The name of the image to correct, at the workspace's root: the name typed at the prompt.
constexpr const char* kNomeDaAmostra = "amostra.jpg";

// Writes a demo workspace into the folder `pasta`, which must be absent or empty; an absent
// folder is created (its parent must exist). The same bytes on every call. The workspace is
// built in a hidden temporary folder and moved into place only when it is complete and its
// mesh passes the check of "malha verificar". Returns true on success; on failure returns false,
// recording why, and leaves `pasta` as it was. Prints a line for the triangles and one for the
// maps. The working folder and the mesh store are not touched.
bool criarDemo(const std::string& pasta);

} // namespace corretor
