#include "calibration/regions.h"

#include "utilities/angles.h"
#include "utilities/field.h"

#include <cmath>

namespace corretor {

std::string regiaoDoCampo(cv::Point2d p)
{
    const cv::Point2d d = p - cv::Point2d(kCentroDoCampo, kCentroDoCampo);
    if (cv::norm(d) < 0.4 * kRaioDoCampo) return "no centro do campo";
    static const char* const kLados[] = {
        "à direita",  "embaixo à direita",  "embaixo", "embaixo à esquerda",
        "à esquerda", "em cima à esquerda", "em cima", "em cima à direita"};
    const double angulo = std::atan2(d.y, d.x); // y down: pi / 2 is "embaixo"
    const int setor = static_cast<int>(std::lround(angulo / (kPi / 4)) + 8) % 8;
    return std::string(kLados[setor]) + " no campo";
}

} // namespace corretor
