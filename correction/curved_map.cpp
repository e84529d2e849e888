// The Clough-Tocher interpolant of the mesh (correction/curved_map.h).
//
// A triangle P0 P1 P2 with centroid Q is split into the thirds S0 = (P0, P1, Q), S1 = (P1, P2, Q)
// and S2 = (P2, P0, Q). On the third Ss = (Pa, Pb, Q), a = s, b = s + 1, c = s + 2 (mod 3), with
// local barycentric coordinates u = b_a - b_c, v = b_b - b_c, w = 3 b_c (b the triangle's own),
// the map is the cubic
//   f = sum over i + j + k = 3 of 3! / (i! j! k!) u^i v^j w^k c_ijk.
// Its 19 ordinates, with f_i and g_i the value and gradient of node Pi:
//   c300 = f_a                               the node
//   c210 = f_a + g_a (Pb - Pa) / 3           along the edge (E)
//   c201 = f_a + g_a (Q - Pa) / 3            towards the centroid (I)
//   c111 = X_s                               across the edge Pa Pb (below)
//   c102 = (I_a + X_s + X_{s-1}) / 3         the second ring (R): C1 across the line Pa Q
//   c003 = (R_0 + R_1 + R_2) / 3             the centroid: C1 around it
// X_s makes the derivative across the edge linear along it: with M the edge's middle, d_k the
// Bernstein coefficients of the derivative along Q - M and t_k those along Pb - Pa,
//   d1 = (d0 + d2) / 2 + sigma (t1 - (t0 + t2) / 2),   sigma = (Pb - Pa)(Q - M) / |Pb - Pa|^2,
// since Q - M = sigma (Pb - Pa) + a multiple of the edge's normal; then X_s = d1 + (c210 + c120)
// / 2.
#include "correction/curved_map.h"

#include "mesh/mesh_store.h"

#include <cmath>
#include <set>

namespace corretor {

namespace {

// The ordinates of a triangle, by name (curved_map.h's file comment).
constexpr int V(int i)
{
    return i;
}
constexpr int E(int i, int rumo) // along the edge from Pi towards P(i + 1) (rumo 1) or P(i + 2)
{
    return 3 + 2 * i + (rumo == 1 ? 0 : 1);
}
constexpr int I(int i)
{
    return 9 + i;
}
constexpr int X(int s)
{
    return 12 + s;
}
constexpr int R(int i)
{
    return 15 + i;
}
constexpr int C = 18;

cv::Point2d alvo(int no)
{
    return {double(vert2[no][0]), double(vert2[no][1])};
}

cv::Point2d fonte(int no)
{
    return {double(vert[no][0]), double(vert[no][1])};
}

double giro(cv::Point2d a, cv::Point2d b, cv::Point2d c)
{
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool triangulaValido(int t)
{
    for (int k = 0; k < 3; ++k)
        if (trg[t][k] < 1 || trg[t][k] >= kNos) return false;
    const int* n = trg[t];
    return giro(alvo(n[0]), alvo(n[1]), alvo(n[2])) != 0 &&
           giro(fonte(n[0]), fonte(n[1]), fonte(n[2])) != 0;
}

// The gradient at node k: least squares over its neighbours, each difference weighted by the
// inverse of its length, in coordinates scaled by the neighbours' mean distance; a quadratic when
// the five columns are well apart, a plane otherwise. `vizinhos` hold at least two nodes that do
// not lie on one line with k (the other corners of a valid triangle).
cv::Matx22d ajustarGradiente(int k, const std::set<int>& vizinhos)
{
    const cv::Point2d centro = alvo(k), valor = fonte(k);
    double escala = 0;
    for (const int j : vizinhos)
        escala += cv::norm(alvo(j) - centro);
    escala /= static_cast<double>(vizinhos.size());
    const int n = static_cast<int>(vizinhos.size());
    for (const int colunas : {5, 2}) {
        if (n < colunas) continue;
        cv::Mat A(n, colunas, CV_64F), B(n, 2, CV_64F);
        int linha = 0;
        for (const int j : vizinhos) {
            const cv::Point2d d = (alvo(j) - centro) / escala;
            const double peso = 1 / cv::norm(d);
            const double termos[5] = {d.x, d.y, d.x * d.x / 2, d.x * d.y, d.y * d.y / 2};
            for (int c = 0; c < colunas; ++c)
                A.at<double>(linha, c) = peso * termos[c];
            const cv::Point2d diferenca = fonte(j) - valor;
            B.at<double>(linha, 0) = peso * diferenca.x;
            B.at<double>(linha, 1) = peso * diferenca.y;
            ++linha;
        }
        cv::Mat w, u, vt;
        cv::SVD::compute(A, w, u, vt);
        if (w.at<double>(colunas - 1) < 1e-6 * w.at<double>(0)) continue;
        cv::Mat solucao;
        cv::solve(A, B, solucao, cv::DECOMP_SVD);
        return cv::Matx22d(solucao.at<double>(0, 0), solucao.at<double>(1, 0),
                           solucao.at<double>(0, 1), solucao.at<double>(1, 1)) *
               (1 / escala);
    }
    return cv::Matx22d::zeros(); // not reached: a valid triangle's corners are never on a line
}

} // namespace

MapaSuave::MapaSuave() : temNo_(kNos, false), valor_(kNos), gradiente_(kNos, cv::Matx22d::zeros())
{
    std::vector<std::set<int>> vizinhos(kNos);
    for (int t = 0; t < kTriangulos; ++t) {
        pecas_[t].valida = triangulaValido(t);
        if (!pecas_[t].valida) continue;
        for (int k = 0; k < 3; ++k) {
            temNo_[trg[t][k]] = true;
            vizinhos[trg[t][k]].insert(trg[t][(k + 1) % 3]);
            vizinhos[trg[t][k]].insert(trg[t][(k + 2) % 3]);
        }
    }
    for (int k = 1; k < kNos; ++k)
        if (temNo_[k]) {
            valor_[k] = fonte(k);
            gradiente_[k] = ajustarGradiente(k, vizinhos[k]);
        }

    for (int t = 0; t < kTriangulos; ++t)
        montarPeca(t);
}

void MapaSuave::montarPeca(int t)
{
    Peca& p = pecas_[t];
    if (!p.valida) return;
    const int* n = trg[t];
    for (int i = 0; i < 3; ++i)
        p.canto[i] = alvo(n[i]);
    const cv::Point2d Q = (p.canto[0] + p.canto[1] + p.canto[2]) / 3;
    const double area = giro(p.canto[0], p.canto[1], p.canto[2]);
    for (int i = 0; i < 3; ++i) { // b_i = area of (x, P(i+1), P(i+2)) / area
        const cv::Point2d a = p.canto[(i + 1) % 3], b = p.canto[(i + 2) % 3];
        p.bx[i] = (a.y - b.y) / area;
        p.by[i] = (b.x - a.x) / area;
        p.b0[i] = (a.x * b.y - b.x * a.y) / area;
    }
    const auto passo = [&](int i, cv::Point2d para) {
        const cv::Point2d d = para - p.canto[i];
        const cv::Matx22d& g = gradiente_[n[i]];
        return valor_[n[i]] +
               cv::Point2d(g(0, 0) * d.x + g(0, 1) * d.y, g(1, 0) * d.x + g(1, 1) * d.y) / 3;
    };
    auto& o = p.ord;
    for (int i = 0; i < 3; ++i) {
        o[V(i)] = valor_[n[i]];
        o[E(i, 1)] = passo(i, p.canto[(i + 1) % 3]);
        o[E(i, 2)] = passo(i, p.canto[(i + 2) % 3]);
        o[I(i)] = passo(i, Q);
    }
    for (int s = 0; s < 3; ++s) {
        const int a = s, b = (s + 1) % 3;
        const cv::Point2d lado = p.canto[b] - p.canto[a];
        const cv::Point2d M = (p.canto[a] + p.canto[b]) / 2;
        const double sigma = lado.dot(Q - M) / lado.dot(lado);
        const cv::Point2d eab = o[E(a, 1)], eba = o[E(b, 2)];
        const cv::Point2d d0 = o[I(a)] - (o[V(a)] + eab) / 2;
        const cv::Point2d d2 = o[I(b)] - (eba + o[V(b)]) / 2;
        const cv::Point2d t0 = eab - o[V(a)], t1 = eba - eab, t2 = o[V(b)] - eba;
        const cv::Point2d d1 = (d0 + d2) / 2 + sigma * (t1 - (t0 + t2) / 2);
        o[X(s)] = d1 + (eab + eba) / 2;
    }
    for (int i = 0; i < 3; ++i)
        o[R(i)] = (o[I(i)] + o[X(i)] + o[X((i + 2) % 3)]) / 3;
    o[C] = (o[R(0)] + o[R(1)] + o[R(2)]) / 3;
}

cv::Matx22d MapaSuave::planoDe(int t) const
{
    // The affine map through the triangle's nodes, target to source: A (Pj - Pi) = fj - fi.
    const int* n = trg[t];
    const cv::Point2d a1 = alvo(n[1]) - alvo(n[0]), a2 = alvo(n[2]) - alvo(n[0]);
    const cv::Point2d f1 = fonte(n[1]) - fonte(n[0]), f2 = fonte(n[2]) - fonte(n[0]);
    const cv::Matx22d alvos(a1.x, a2.x, a1.y, a2.y), fontes(f1.x, f2.x, f1.y, f2.y);
    return fontes * alvos.inv();
}

void MapaSuave::aplainar(const std::vector<int>& triangulos)
{
    std::vector<cv::Matx22d> soma(kNos, cv::Matx22d::zeros());
    std::vector<int> quantos(kNos, 0);
    for (const int t : triangulos) {
        if (!pecas_[t].valida) continue;
        const cv::Matx22d A = planoDe(t);
        for (int k = 0; k < 3; ++k)
            soma[trg[t][k]] += A, ++quantos[trg[t][k]];
    }
    for (int k = 1; k < kNos; ++k)
        if (quantos[k] > 0) gradiente_[k] = soma[k] * (1.0 / quantos[k]);
    for (int t = 0; t < kTriangulos; ++t) {
        bool toca = false;
        for (int k = 0; k < 3 && pecas_[t].valida; ++k)
            toca |= quantos[trg[t][k]] > 0;
        if (toca) montarPeca(t);
    }
}

bool MapaSuave::avaliar(int t, double x, double y, cv::Point2d& ponto, cv::Matx22d& jacobiano) const
{
    const Peca& p = pecas_[t];
    if (!p.valida) return false;
    double b[3];
    for (int i = 0; i < 3; ++i)
        b[i] = p.bx[i] * x + p.by[i] * y + p.b0[i];
    // The third whose corners exclude the node of least weight.
    const int c = b[0] <= b[1] && b[0] <= b[2] ? 0 : b[1] <= b[2] ? 1 : 2;
    const int a = (c + 1) % 3, bb = (c + 2) % 3, s = a; // Ss = (Pa, Pb, Q)
    const double u = b[a] - b[c], v = b[bb] - b[c], w = 3 * b[c];
    const auto& o = p.ord;
    const cv::Point2d c300 = o[V(a)], c030 = o[V(bb)], c003 = o[C];
    const cv::Point2d c210 = o[E(a, 1)], c120 = o[E(bb, 2)];
    const cv::Point2d c201 = o[I(a)], c021 = o[I(bb)];
    const cv::Point2d c102 = o[R(a)], c012 = o[R(bb)], c111 = o[X(s)];
    ponto = c300 * (u * u * u) + c030 * (v * v * v) + c003 * (w * w * w) +
            3 * (c210 * (u * u * v) + c120 * (u * v * v) + c201 * (u * u * w) + c021 * (v * v * w) +
                 c102 * (u * w * w) + c012 * (v * w * w)) +
            6 * c111 * (u * v * w);
    const cv::Point2d fu = 3 * (c300 * (u * u) + 2 * c210 * (u * v) + c120 * (v * v) +
                                2 * c201 * (u * w) + c102 * (w * w) + 2 * c111 * (v * w));
    const cv::Point2d fv = 3 * (c030 * (v * v) + c210 * (u * u) + 2 * c120 * (u * v) +
                                2 * c021 * (v * w) + c012 * (w * w) + 2 * c111 * (u * w));
    const cv::Point2d fw = 3 * (c003 * (w * w) + c201 * (u * u) + c021 * (v * v) +
                                2 * c102 * (u * w) + 2 * c012 * (v * w) + 2 * c111 * (u * v));
    const double ux = p.bx[a] - p.bx[c], uy = p.by[a] - p.by[c];
    const double vx = p.bx[bb] - p.bx[c], vy = p.by[bb] - p.by[c];
    const double wx = 3 * p.bx[c], wy = 3 * p.by[c];
    const cv::Point2d dx = fu * ux + fv * vx + fw * wx, dy = fu * uy + fv * vy + fw * wy;
    jacobiano = cv::Matx22d(dx.x, dy.x, dx.y, dy.y);
    return true;
}

bool MapaSuave::no(int k, cv::Point2d& valor, cv::Matx22d& gradiente) const
{
    if (k < 1 || k >= kNos || !temNo_[k]) return false;
    valor = valor_[k];
    gradiente = gradiente_[k];
    return true;
}

} // namespace corretor
