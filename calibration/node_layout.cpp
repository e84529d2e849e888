#include "calibration/node_layout.h"

#include "utilities/field.h"
#include "utilities/angles.h"

#include <algorithm>
#include <cmath>

namespace corretor {

std::vector<cv::Point> escolherNosDeDestino(int n)
{
    n = std::clamp(n, kMenosNos, kMaisNos);
    // The outer ring: about as many nodes as the circumference holds at the inner spacing
    // (pi sqrt(n) for near equilateral triangles over a disc), never fewer than the triangle
    // file's capacity asks for.
    const int externos = std::clamp(
        std::max(2 * n - 101, static_cast<int>(std::lround(kPi * std::sqrt(n)))), 3, n - 1);
    const double raioExterno = (kRaioDoCampo + 2) / std::cos(kPi / externos);

    // Inner rings j = 1 .. K at radii j / (K + 1) of the outer one, with counts growing as j:
    // ring j would hold externos * j / (K + 1) nodes at the outer ring's spacing.
    const int internos = n - externos - 1; // besides the centre
    const int aneis =
        internos > 0 ? std::max(1, static_cast<int>(std::lround(2.0 * internos / externos))) : 0;
    std::vector<int> contagem(aneis, 0);
    std::vector<std::pair<double, int>> restos;
    int postos = 0;
    for (int j = 0; j < aneis; ++j) {
        const double justo = internos * (j + 1) / (aneis * (aneis + 1) / 2.0);
        contagem[j] = static_cast<int>(justo);
        postos += contagem[j];
        restos.emplace_back(justo - contagem[j], j);
    }
    std::sort(restos.rbegin(), restos.rend());
    for (int k = 0; postos < internos; ++k, ++postos)
        ++contagem[restos[k % restos.size()].second];

    std::vector<cv::Point> nos = {cv::Point(kCentroDoCampo, kCentroDoCampo)};
    const auto anel = [&](int quantos, double raio, double fase) {
        for (int k = 0; k < quantos; ++k) {
            const double t = 2 * kPi * (k + fase) / quantos;
            nos.emplace_back(static_cast<int>(std::lround(kCentroDoCampo + raio * std::cos(t))),
                             static_cast<int>(std::lround(kCentroDoCampo + raio * std::sin(t))));
        }
    };
    // The rings draw closer towards the edge, where the lens bends lines most and a flat
    // triangle follows it worst: ring j sits at f(t) of the outer radius, t = j / (K + 1),
    // f(t) = 1.17 t - 0.17 t^2. Phases keep the nodes of neighbouring rings off one radius.
    for (int j = 0; j < aneis; ++j) {
        const double t = (j + 1.0) / (aneis + 1);
        anel(contagem[j], raioExterno * (1.17 * t - 0.17 * t * t),
             0.5 * (j % 2) + 0.25 * (j / 2 % 2));
    }
    anel(externos, raioExterno, 0.5);
    return nos;
}

} // namespace corretor
