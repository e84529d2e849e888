// malha desenhar, and what malha editar does before it needs a screen.
#include "tests/support/workspace.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class Tools_MalhaDesenhar : public ::testing::Test
{
protected:
    Tools_MalhaDesenhar()
    {
        // A grey 60 x 50 picture (240 x 200 enlarged) and a grey 220 x 200 pattern.
        ws.writeImage("foto.png", cv::Mat(50, 60, CV_8UC3, cv::Scalar(100, 100, 100)));
        ws.writeImage("data/pattern.jpg", cv::Mat(200, 220, CV_8UC3, cv::Scalar(128, 128, 128)));
        // Two triangles; each has one edge on a diagonal, where anti-aliased lines take their
        // whole colour.
        ws.write("data/verticesamp4.txt", "40 40\n120 40\n40 120\n120 120\n");
        ws.write("data/vertices2.txt", "20 20\n100 20\n20 100\n100 100\n");
        ws.write("data/quelvarina.txt", "1 2 3\n2 4 3\n");
    }
    teste::RunResult malha(const std::vector<std::string>& args)
    {
        return teste::run(MALHA_PATH, args, "", ws.dir());
    }
    cv::Mat picture(const std::string& name) const
    {
        return cv::imread((ws / name).string(), cv::IMREAD_UNCHANGED);
    }
    teste::Workspace ws;
};

// Pixels of the numbers' yellow (anti-aliased, so roughly) inside the square of side 2r+1
// about (x, y).
int yellowNear(const cv::Mat& image, int x, int y, int r)
{
    int n = 0;
    for (int j = y - r; j <= y + r; ++j)
        for (int i = x - r; i <= x + r; ++i) {
            const cv::Vec3b p = image.at<cv::Vec3b>(j, i);
            if (p[0] < 90 && p[1] > 160 && p[2] > 160) ++n;
        }
    return n;
}

const cv::Vec3b kRed(0, 0, 255), kBlue(255, 0, 0), kCyan(255, 255, 0);

} // namespace

TEST_F(Tools_MalhaDesenhar, draws_each_mesh_over_its_image_with_the_triangle_numbers)
{
    const auto r = malha({"desenhar", "foto.png"});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("\"malha-origem.png\"")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("2 triângulos, numerados de 0 a 1")) << r.out;

    const cv::Mat origem = picture("malha-origem.png");
    ASSERT_EQ(CV_8UC3, origem.type());
    EXPECT_EQ(cv::Size(240, 200), origem.size()) << "the picture enlarged four times";
    EXPECT_EQ(kRed, origem.at<cv::Vec3b>(39, 120)) << "node 2, above its edges";
    EXPECT_EQ(kBlue, origem.at<cv::Vec3b>(80, 80)) << "the diagonal edge 2-3";
    EXPECT_EQ(cv::Vec3b(100, 100, 100), origem.at<cv::Vec3b>(20, 200)) << "untouched";
    EXPECT_EQ(kRed, origem.at<cv::Vec3b>(0, 1)) << "empty entries: a dot at node 0";
    // The numbers at the centroids (67, 67) and (93, 93), away from every edge.
    EXPECT_GT(yellowNear(origem, 67, 67, 6), 3);
    EXPECT_GT(yellowNear(origem, 93, 93, 6), 3);
    EXPECT_EQ(0, yellowNear(origem, 200, 170, 15));

    const cv::Mat destino = picture("malha-destino.png");
    EXPECT_EQ(cv::Size(220, 200), destino.size());
    EXPECT_EQ(kCyan, destino.at<cv::Vec3b>(60, 60)) << "the diagonal edge 2-3";
    EXPECT_GT(yellowNear(destino, 47, 47, 5), 3);
    EXPECT_GT(yellowNear(destino, 73, 73, 5), 3);
    EXPECT_EQ(0, yellowNear(destino, 180, 160, 15));
}

TEST_F(Tools_MalhaDesenhar, failures_name_the_file_and_leave_no_picture)
{
    const auto missing = malha({"desenhar", "nada.png"});
    EXPECT_EQ(1, missing.status);
    EXPECT_NE(std::string::npos, missing.err.find("malha: erro: ")) << missing.err;
    EXPECT_NE(std::string::npos, missing.err.find("nada.png")) << missing.err;

    ws.write("data/quelvarina.txt", "1 2 99\n");
    const auto badMesh = malha({"desenhar", "foto.png"});
    EXPECT_EQ(1, badMesh.status);
    EXPECT_NE(std::string::npos, badMesh.err.find("quelvarina.txt")) << badMesh.err;
    EXPECT_FALSE(ws.exists("malha-origem.png"));
    EXPECT_FALSE(ws.exists("malha-destino.png"));

    EXPECT_EQ(2, malha({"desenhar"}).status);
    EXPECT_EQ(2, malha({"desenhar", "a.png", "b.png"}).status);
}

TEST_F(Tools_MalhaDesenhar, editar_without_a_screen_says_so)
{
    // The program under test inherits the environment: no display for this run.
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display != nullptr ? display : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const auto r = malha({"editar", "foto.png"});
    if (display != nullptr) setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("malha: erro: não há tela")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("malha desenhar")) << r.err;
    EXPECT_EQ(2, malha({"editar"}).status);
}

TEST_F(Tools_MalhaDesenhar, help_names_the_files_and_the_keys)
{
    const auto top = malha({"--help"});
    EXPECT_NE(std::string::npos, top.out.find("  desenhar ")) << top.out;
    EXPECT_NE(std::string::npos, top.out.find("  editar ")) << top.out;
    const auto desenhar = malha({"desenhar", "--help"});
    EXPECT_EQ(0, desenhar.status);
    EXPECT_EQ(0u, desenhar.out.find("uso: malha desenhar IMAGEM")) << desenhar.out;
    const auto editar = malha({"editar", "--help"});
    EXPECT_EQ(0, editar.status);
    for (const char* text : {"uso: malha editar IMAGEM", "vertices.txt", "vertices2.txt",
                             "malha2.txt", "editor-imagem.png", "  q  sai"})
        EXPECT_NE(std::string::npos, editar.out.find(text)) << text;
}
