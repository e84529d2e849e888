#include "authoring/affine_solve.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace corretor {

namespace {

// One row of the map: the augmented system with the target coordinate `ind` (0 = x, 1 = y)
// as right-hand side, eliminated without row exchanges. Returns false when a pivot was zero.
//
// Every stored entry is a float. One update (a quotient, a product and a difference, or a
// back-substitution step) is worked out in double and rounded to float when stored.
bool eliminarLinha(const Ponto origem[3], const Ponto destino[3], int ind, float vet[3])
{
    float matriz[3][4], mat[3][4];
    for (int i = 0; i < 3; ++i) {
        matriz[i][0] = static_cast<float>(origem[i].x);
        matriz[i][1] = static_cast<float>(origem[i].y);
        matriz[i][2] = 1.f;
        matriz[i][3] = static_cast<float>(ind == 0 ? destino[i].x : destino[i].y);
    }
    for (int j = 0; j < 4; ++j)
        mat[0][j] = matriz[0][j];

    // Two sweeps. A sweep reads matriz as it stood when the sweep began and writes mat; then
    // all of mat goes back into matriz. The entries below a pivot are computed (to zero or a
    // rounding residue), not set; back substitution never reads them.
    //   mat[i][j] = matriz[i][j] - (matriz[i][k] / matriz[k][k]) * matriz[k][j]
    bool pivos = true;
    for (int k = 0; k < 2; ++k) {
        pivos = pivos && matriz[k][k] != 0.f;
        for (int i = k + 1; i < 3; ++i)
            for (int j = k; j < 4; ++j)
                mat[i][j] = static_cast<float>(
                    static_cast<double>(matriz[i][j]) -
                    (static_cast<double>(matriz[i][k]) / static_cast<double>(matriz[k][k])) *
                        static_cast<double>(matriz[k][j]));
        std::memcpy(matriz, mat, sizeof matriz);
    }
    pivos = pivos && matriz[2][2] != 0.f;

    // Back substitution, each result stored as float before the next step reads it:
    //   vet[2] = m[2][3] / m[2][2]
    //   vet[1] = (m[1][3] - m[1][2]*vet[2]) / m[1][1]
    //   vet[0] = ((m[0][3] - m[0][2]*vet[2]) - m[0][1]*vet[1]) / m[0][0]
    const auto d = [](float v) { return static_cast<double>(v); };
    vet[2] = static_cast<float>(d(matriz[2][3]) / d(matriz[2][2]));
    vet[1] = static_cast<float>((d(matriz[1][3]) - d(matriz[1][2]) * d(vet[2])) / d(matriz[1][1]));
    vet[0] = static_cast<float>(
        ((d(matriz[0][3]) - d(matriz[0][2]) * d(vet[2])) - d(matriz[0][1]) * d(vet[1])) /
        d(matriz[0][0]));
    return pivos;
}

void semMapa(st_mat& mapa)
{
    for (auto& linha : mapa.mat)
        for (float& v : linha)
            v = std::numeric_limits<float>::quiet_NaN();
}

} // namespace

bool eliminarSemTrocas(const Ponto origem[3], const Ponto destino[3], st_mat& mapa)
{
    const bool x = eliminarLinha(origem, destino, 0, mapa.mat[0]);
    const bool y = eliminarLinha(origem, destino, 1, mapa.mat[1]);
    return x && y;
}

void eliminarComPivo(const Ponto origem[3], const Ponto destino[3], st_mat& mapa)
{
    // Columns: x, y, 1 | target x, target y.
    double m[3][5];
    for (int i = 0; i < 3; ++i) {
        const double linha[5] = {double(origem[i].x), double(origem[i].y), 1.0,
                                 double(destino[i].x), double(destino[i].y)};
        std::memcpy(m[i], linha, sizeof linha);
    }
    for (int k = 0; k < 3; ++k) {
        int maior = k;
        for (int i = k + 1; i < 3; ++i)
            if (std::fabs(m[i][k]) > std::fabs(m[maior][k])) maior = i;
        if (maior != k) std::swap(m[k], m[maior]);
        for (int i = k + 1; i < 3; ++i) {
            const double fator = m[i][k] / m[k][k];
            for (int j = k; j < 5; ++j)
                m[i][j] -= fator * m[k][j];
        }
    }
    for (int ind = 0; ind < 2; ++ind) {
        double v[3] = {};
        for (int i = 2; i >= 0; --i) {
            double soma = m[i][3 + ind];
            for (int j = i + 1; j < 3; ++j)
                soma -= m[i][j] * v[j];
            v[i] = soma / m[i][i];
        }
        for (int j = 0; j < 3; ++j)
            mapa.mat[ind][j] = static_cast<float>(v[j]);
    }
}

double desvio(const st_mat& mapa, const Ponto origem[3], const Ponto destino[3])
{
    const auto& m = mapa.mat;
    double pior = 0;
    for (int k = 0; k < 3; ++k) {
        const double x = origem[k].x, y = origem[k].y;
        const double dx =
            double(m[0][0]) * x + double(m[0][1]) * y + double(m[0][2]) - destino[k].x;
        const double dy =
            double(m[1][0]) * x + double(m[1][1]) * y + double(m[1][2]) - destino[k].y;
        const double distancia = std::hypot(dx, dy);
        if (!std::isfinite(distancia)) return std::numeric_limits<double>::infinity();
        if (distancia > pior) pior = distancia;
    }
    return pior;
}

double desvioTolerado(const st_mat& mapa, const Ponto origem[3], double piso)
{
    const auto& m = mapa.mat;
    double pior = 0;
    for (int k = 0; k < 3; ++k) {
        const double x = origem[k].x, y = origem[k].y;
        double eixo = 0;
        for (int i = 0; i < 2; ++i) {
            const double termos = std::abs(double(m[i][0]) * x) + std::abs(double(m[i][1]) * y) +
                                  std::abs(double(m[i][2]));
            eixo = std::max(eixo, 5e-7 * (std::abs(x) + std::abs(y) + 1) + 6e-8 * termos);
        }
        pior = std::max(pior, eixo);
    }
    const double tolerado = kDesvioAceito + std::sqrt(2.0) * pior;
    return std::isfinite(tolerado) ? std::max(piso, tolerado) : piso;
}

Solucao mapaDoTriangulo(const Ponto origem[3], const Ponto destino[3], st_mat& mapa, double& erro)
{
    if (orientacao(origem[0], origem[1], origem[2]) == 0) {
        semMapa(mapa);
        erro = std::numeric_limits<double>::infinity();
        return Solucao::SemMapa;
    }
    st_mat direto{};
    const bool pivos = eliminarSemTrocas(origem, destino, direto);
    const double erroDireto =
        pivos ? desvio(direto, origem, destino) : std::numeric_limits<double>::infinity();
    if (erroDireto <= kDesvioAceito) {
        mapa = direto;
        erro = erroDireto;
        return Solucao::Eliminacao;
    }
    st_mat trocado{};
    eliminarComPivo(origem, destino, trocado);
    const double erroTrocado = desvio(trocado, origem, destino);
    if (erroDireto <= erroTrocado) {
        mapa = direto;
        erro = erroDireto;
        return Solucao::Eliminacao;
    }
    mapa = trocado;
    erro = erroTrocado;
    return Solucao::ComTrocas;
}

} // namespace corretor
