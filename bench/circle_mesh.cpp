#include "bench/circle_mesh.h"

#include "mesh/mesh_store.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

namespace bancada {

using namespace corretor;

int preencherMalhaCircular(int largura, int altura)
{
    limparMalha();
    // Rings of 1, 6, 12, 18 and 26 nodes: 63 in all.
    const int porAnel[] = {1, 6, 12, 18, 26};
    std::vector<cv::Point2f> fonte, alvo;
    for (int anel = 0; anel < 5; ++anel) {
        for (int k = 0; k < porAnel[anel]; ++k) {
            const double a = 2 * CV_PI * k / porAnel[anel] + 0.1 * anel;
            const double r = anel / 4.0;
            const double barril = r * (1 - 0.15 * r * r); // where the distortion puts it
            fonte.emplace_back(
                static_cast<float>(largura / 2.0 + barril * (largura / 2.0 - 1) * std::cos(a)),
                static_cast<float>(altura / 2.0 + barril * (altura / 2.0 - 1) * std::sin(a)));
            alvo.emplace_back(static_cast<float>(218 + r * 209 * std::cos(a)),
                              static_cast<float>(218 + r * 209 * std::sin(a)));
        }
    }
    for (size_t k = 0; k < fonte.size(); ++k) {
        vert[k + 1][0] = cvRound(fonte[k].x), vert[k + 1][1] = cvRound(fonte[k].y);
        vert2[k + 1][0] = cvRound(alvo[k].x), vert2[k + 1][1] = cvRound(alvo[k].y);
    }
    cv::Subdiv2D subdiv(cv::Rect(-1, -1, largura + 2, altura + 2));
    for (size_t k = 0; k < fonte.size(); ++k)
        subdiv.insert(
            cv::Point2f(static_cast<float>(vert[k + 1][0]), static_cast<float>(vert[k + 1][1])));
    std::vector<cv::Vec6f> triangulos;
    subdiv.getTriangleList(triangulos);
    int t = 0;
    for (const auto& tri : triangulos) {
        int nos[3];
        bool dentro = true;
        for (int v = 0; v < 3; ++v) {
            const int id = subdiv.findNearest(cv::Point2f(tri[2 * v], tri[2 * v + 1])) - 3;
            dentro = dentro && id >= 1 && id <= 63 && vert[id][0] == cvRound(tri[2 * v]) &&
                     vert[id][1] == cvRound(tri[2 * v + 1]);
            nos[v] = id;
        }
        if (!dentro || t == kTriangulos) continue;
        cv::Point2f de[3], para[3];
        for (int v = 0; v < 3; ++v) {
            trg[t][v] = nos[v];
            de[v] = cv::Point2f(static_cast<float>(vert[nos[v]][0]),
                                static_cast<float>(vert[nos[v]][1]));
            para[v] = cv::Point2f(static_cast<float>(vert2[nos[v]][0]),
                                  static_cast<float>(vert2[nos[v]][1]));
        }
        const cv::Mat m = cv::getAffineTransform(de, para);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c)
                matrix[t].mat[r][c] = static_cast<float>(m.at<double>(r, c));
        ++t;
    }
    return t;
}

} // namespace bancada
