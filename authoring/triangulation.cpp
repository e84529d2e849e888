#include "authoring/triangulation.h"

#include "mesh/mesh_store.h"
#include "utilities/geometry.h"
#include "utilities/report.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace corretor {

namespace {

std::string textoDe(Ponto p)
{
    return "(" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")";
}

// Node k (from 1) of a list of nodes.
Ponto no(const std::vector<Ponto>& nos, int k)
{
    return nos[static_cast<std::size_t>(k - 1)];
}

bool nosAceitaveis(const std::vector<Ponto>& destino)
{
    const int nos = static_cast<int>(destino.size());
    if (nos < 3) {
        falhar("são precisos ao menos 3 nós para formar um triângulo; \"data/vertices2.txt\" "
               "tem " +
               std::to_string(nos));
        return false;
    }
    for (int a = 1; a <= nos; ++a) {
        const Ponto p = no(destino, a);
        if (std::abs(static_cast<long long>(p.x)) > kCoordenadaMaxima ||
            std::abs(static_cast<long long>(p.y)) > kCoordenadaMaxima) {
            falhar("o nó " + std::to_string(a) + " de \"data/vertices2.txt\" está em " +
                   textoDe(p) + ", fora de ±" + std::to_string(kCoordenadaMaxima));
            return false;
        }
        for (int b = 1; b < a; ++b)
            if (no(destino, b) == p) {
                falhar("os nós " + std::to_string(b) + " e " + std::to_string(a) +
                       " têm a mesma posição " + textoDe(p) + " em \"data/vertices2.txt\"");
                return false;
            }
    }
    return true;
}

// The triangles that Subdiv2D finds among the target nodes, each with a positive winding
// value in the target mesh. Triangles that touch the library's outer vertices are dropped.
std::vector<Triangulo> triangulosDaBiblioteca(const std::vector<Ponto>& destino)
{
    int xMin = destino[0].x, xMax = xMin, yMin = destino[0].y, yMax = yMin;
    for (const Ponto& p : destino) {
        xMin = std::min(xMin, p.x);
        xMax = std::max(xMax, p.x);
        yMin = std::min(yMin, p.y);
        yMax = std::max(yMax, p.y);
    }
    // The library keeps only triangles whose corners lie in its rectangle, right and bottom
    // edges excluded; a margin keeps every node inside.
    const int margem = std::max(xMax - xMin, yMax - yMin) + 1;
    cv::Subdiv2D subdivisao(cv::Rect(xMin - margem, yMin - margem, xMax - xMin + 2 * margem + 1,
                                     yMax - yMin + 2 * margem + 1));
    std::map<std::pair<int, int>, int> noEm;
    for (int k = 1; k <= static_cast<int>(destino.size()); ++k) {
        const Ponto p = no(destino, k);
        subdivisao.insert(cv::Point2f(float(p.x), float(p.y)));
        noEm[{p.x, p.y}] = k;
    }

    std::vector<cv::Vec6f> lista;
    subdivisao.getTriangleList(lista);
    std::vector<Triangulo> triangulos;
    for (const auto& v : lista) {
        Triangulo t{};
        bool dosNos = true;
        for (int k = 0; k < 3 && dosNos; ++k) {
            // Node coordinates are whole numbers within the exact range of a float.
            const auto achado =
                noEm.find({int(std::lround(v[2 * k])), int(std::lround(v[2 * k + 1]))});
            dosNos = achado != noEm.end() && float(achado->first.first) == v[2 * k] &&
                     float(achado->first.second) == v[2 * k + 1];
            if (dosNos) t[k] = achado->second;
        }
        if (!dosNos) continue;
        const int lado = orientacao(no(destino, t[0]), no(destino, t[1]), no(destino, t[2]));
        if (lado == 0) continue;
        if (lado < 0) std::swap(t[1], t[2]);
        triangulos.push_back(t);
    }
    return triangulos;
}

// Completes a set of triangles of the target nodes, all with positive winding, to the whole
// convex hull: across every border edge that has nodes beyond it, it adds the triangle whose
// circumcircle holds none of the eligible nodes, provided that it holds no node in its closed
// area and overlaps no triangle already there.
class Envoltoria
{
public:
    Envoltoria(const std::vector<Ponto>& destino, std::vector<Triangulo>& triangulos)
        : destino_(destino), nos_(static_cast<int>(destino.size())), triangulos_(triangulos)
    {
        for (const auto& t : triangulos_)
            marcar(t);
    }

    void completar()
    {
        if (triangulos_.empty()) semente();
        for (std::size_t i = 0; i < triangulos_.size(); ++i)
            for (int e = 0; e < 3; ++e) {
                const int a = triangulos_[i][e], b = triangulos_[i][(e + 1) % 3];
                if (!arestas_.count({b, a})) envolver(a, b);
            }
    }

private:
    Ponto p(int k) const { return no(destino_, k); }

    void marcar(const Triangulo& t)
    {
        for (int e = 0; e < 3; ++e)
            arestas_.insert({t[e], t[(e + 1) % 3]});
    }

    // With no triangle yet: start from an edge of the hull, all nodes on its right or on it.
    void semente()
    {
        int a = 1;
        for (int k = 2; k <= nos_; ++k)
            if (p(k).x < p(a).x || (p(k).x == p(a).x && p(k).y < p(a).y)) a = k;
        int b = a == 1 ? 2 : 1;
        for (int c = 1; c <= nos_; ++c) {
            if (c == a || c == b) continue;
            const int lado = orientacao(p(a), p(b), p(c));
            const auto perto = [&](int n) {
                return std::llabs((long long)p(n).x - p(a).x) +
                       std::llabs((long long)p(n).y - p(a).y);
            };
            if (lado > 0 || (lado == 0 && perto(c) < perto(b))) b = c;
        }
        envolver(a, b);
    }

    bool valido(int a, int b, int c) const
    {
        for (int n = 1; n <= nos_; ++n)
            if (n != a && n != b && n != c && noTriangulo(p(a), p(b), p(c), p(n))) return false;
        const Ponto novo[3] = {p(a), p(b), p(c)};
        for (const auto& t : triangulos_) {
            const Ponto velho[3] = {p(t[0]), p(t[1]), p(t[2])};
            if (interioresSeCruzam(novo, velho)) return false;
        }
        return true;
    }

    // Adds the triangle beyond the directed edge a -> b (on its right), if there is one.
    void envolver(int a, int b)
    {
        int melhor = 0;
        for (int c = 1; c <= nos_; ++c) {
            if (c == a || c == b || orientacao(p(a), p(b), p(c)) >= 0 || !valido(b, a, c)) continue;
            if (melhor == 0 || dentroDoCirculo(p(b), p(a), p(melhor), p(c))) melhor = c;
        }
        if (melhor == 0) return;
        triangulos_.push_back({b, a, melhor});
        marcar(triangulos_.back());
    }

    const std::vector<Ponto>& destino_;
    int nos_;
    std::vector<Triangulo>& triangulos_;
    std::set<std::pair<int, int>> arestas_; // directed edges of the triangles, winding order
};

// Winding for the file (see the header), then the smallest node first.
Triangulo paraOArquivo(Triangulo t, const std::vector<Ponto>& origem,
                       const std::vector<Ponto>& destino)
{
    int lado = orientacao(no(origem, t[0]), no(origem, t[1]), no(origem, t[2]));
    if (lado == 0) lado = orientacao(no(destino, t[0]), no(destino, t[1]), no(destino, t[2]));
    if (lado > 0) std::swap(t[1], t[2]);
    std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
    return t;
}

} // namespace

bool triangularMalha(const std::vector<Ponto>& origem, const std::vector<Ponto>& destino,
                     std::vector<Triangulo>& triangulos)
{
    triangulos.clear();
    if (!nosAceitaveis(destino)) return false;
    triangulos = triangulosDaBiblioteca(destino);
    Envoltoria(destino, triangulos).completar();
    if (triangulos.empty()) {
        falhar("os " + std::to_string(destino.size()) +
               " nós de \"data/vertices2.txt\" estão todos numa reta; não formam triângulos");
        return false;
    }
    for (auto& t : triangulos)
        t = paraOArquivo(t, origem, destino);
    std::sort(triangulos.begin(), triangulos.end());
    return true;
}

bool triangularParaOArquivo(const std::vector<Ponto>& origem, const std::vector<Ponto>& destino,
                            std::vector<Triangulo>& triangulos)
{
    if (!triangularMalha(origem, destino, triangulos)) return false;
    if (triangulos.size() <= static_cast<std::size_t>(kTriangulos)) return true;
    falhar("a triangulação dos " + std::to_string(destino.size()) + " nós dá " +
           std::to_string(triangulos.size()) +
           " triângulos, e o arquivo de triângulos comporta 99; use menos nós");
    return false;
}

std::string textoDosTriangulos(const std::vector<Triangulo>& triangulos)
{
    std::string texto;
    for (const auto& t : triangulos)
        texto +=
            std::to_string(t[0]) + " " + std::to_string(t[1]) + " " + std::to_string(t[2]) + "\n";
    return texto;
}

} // namespace corretor
