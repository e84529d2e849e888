// Where in the field a pattern point lies, in words for the user's messages.
#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace corretor {

// "no centro do campo" within 0.4 field radii of the centre, else one of eight sides, as
// "embaixo à direita no campo" (y grows downward).
std::string regiaoDoCampo(cv::Point2d p);

} // namespace corretor
