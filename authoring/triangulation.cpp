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

bool nosAceitaveis(int nos)
{
    if (nos < 3) {
        falhar("são precisos ao menos 3 nós para formar um triângulo; \"data/vertices2.txt\" "
               "tem " +
               std::to_string(nos));
        return false;
    }
    for (int a = 1; a <= nos; ++a) {
        const Ponto p = pontoDe(vert2, a);
        if (std::abs(static_cast<long long>(p.x)) > kCoordenadaMaxima ||
            std::abs(static_cast<long long>(p.y)) > kCoordenadaMaxima) {
            falhar("o nó " + std::to_string(a) + " de \"data/vertices2.txt\" está em " +
                   textoDe(p) + ", fora de ±" + std::to_string(kCoordenadaMaxima));
            return false;
        }
        for (int b = 1; b < a; ++b)
            if (pontoDe(vert2, b) == p) {
                falhar("os nós " + std::to_string(b) + " e " + std::to_string(a) +
                       " têm a mesma posição " + textoDe(p) + " em \"data/vertices2.txt\"");
                return false;
            }
    }
    return true;
}

// The triangles that Subdiv2D finds among the target nodes, each with a positive winding
// value in the target mesh. Triangles that touch the library's outer vertices are dropped.
std::vector<Triangulo> triangulosDaBiblioteca(int nos)
{
    int xMin = vert2[1][0], xMax = xMin, yMin = vert2[1][1], yMax = yMin;
    for (int k = 2; k <= nos; ++k) {
        xMin = std::min(xMin, vert2[k][0]);
        xMax = std::max(xMax, vert2[k][0]);
        yMin = std::min(yMin, vert2[k][1]);
        yMax = std::max(yMax, vert2[k][1]);
    }
    // The library keeps only triangles whose corners lie in its rectangle, right and bottom
    // edges excluded; a margin keeps every node inside.
    const int margem = std::max(xMax - xMin, yMax - yMin) + 1;
    cv::Subdiv2D subdivisao(cv::Rect(xMin - margem, yMin - margem, xMax - xMin + 2 * margem + 1,
                                     yMax - yMin + 2 * margem + 1));
    std::map<std::pair<int, int>, int> noEm;
    for (int k = 1; k <= nos; ++k) {
        subdivisao.insert(cv::Point2f(float(vert2[k][0]), float(vert2[k][1])));
        noEm[{vert2[k][0], vert2[k][1]}] = k;
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
        const int lado =
            orientacao(pontoDe(vert2, t[0]), pontoDe(vert2, t[1]), pontoDe(vert2, t[2]));
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
    Envoltoria(int nos, std::vector<Triangulo>& triangulos) : nos_(nos), triangulos_(triangulos)
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
    Ponto p(int no) const { return pontoDe(vert2, no); }

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

    int nos_;
    std::vector<Triangulo>& triangulos_;
    std::set<std::pair<int, int>> arestas_; // directed edges of the triangles, winding order
};

// Winding for the file (see the header), then the smallest node first.
Triangulo paraOArquivo(Triangulo t)
{
    int lado = orientacao(pontoDe(vert, t[0]), pontoDe(vert, t[1]), pontoDe(vert, t[2]));
    if (lado == 0)
        lado = orientacao(pontoDe(vert2, t[0]), pontoDe(vert2, t[1]), pontoDe(vert2, t[2]));
    if (lado > 0) std::swap(t[1], t[2]);
    std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
    return t;
}

} // namespace

bool triangularMalha(int nos, std::vector<Triangulo>& triangulos)
{
    triangulos.clear();
    if (!nosAceitaveis(nos)) return false;
    triangulos = triangulosDaBiblioteca(nos);
    Envoltoria(nos, triangulos).completar();
    if (triangulos.empty()) {
        falhar("os " + std::to_string(nos) +
               " nós de \"data/vertices2.txt\" estão todos numa reta; não formam triângulos");
        return false;
    }
    for (auto& t : triangulos)
        t = paraOArquivo(t);
    std::sort(triangulos.begin(), triangulos.end());
    return true;
}

bool triangularParaOArquivo(int nos, std::vector<Triangulo>& triangulos)
{
    if (!triangularMalha(nos, triangulos)) return false;
    if (triangulos.size() <= static_cast<std::size_t>(kTriangulos)) return true;
    falhar("a triangulação dos " + std::to_string(nos) + " nós dá " +
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
