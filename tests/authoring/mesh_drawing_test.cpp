#include "authoring/mesh_drawing.h"
#include "authoring/point_picking.h"
#include "correction/driver.h"
#include "correction/image_ops.h"
#include "correction/locate.h"
#include "mesh/mesh_store.h"
#include "tests/support/workspace.h"

#include <opencv2/core.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>

using namespace corretor;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

// A black 100 x 80 image, an empty mesh store, counters as at start, a fresh workspace as the
// working directory.
class Authoring_MeshDrawing : public ::testing::Test
{
protected:
    Authoring_MeshDrawing() : here_(ws.dir())
    {
        limparMalha();
        reiniciarMarcacao();
        image = cvCreateImage(cvSize(100, 80), IPL_DEPTH_8U, 3);
        cvZero(image);
    }
    ~Authoring_MeshDrawing() override
    {
        free(image);
        limparMalha();
        reiniciarMarcacao();
    }
    cv::Vec3b at(int x, int y) const { return cv::cvarrToMat(image).at<cv::Vec3b>(y, x); }
    // A node disc at (x, y): the edges drawn after it cover its centre, but not all of it.
    bool nodeAt(int x, int y) const
    {
        for (int j = std::max(0, y - 1); j <= y + 1; ++j)
            for (int i = std::max(0, x - 1); i <= x + 1; ++i) {
                const cv::Vec3b p = at(i, j);
                if (p[2] > 200 && p[0] < 60 && p[1] < 60) return true;
            }
        return false;
    }
    int marked() const { return cv::countNonZero(cv::cvarrToMat(image).reshape(1)); }
    // inTriangulo on the file "malha2.txt", returning what it printed.
    std::string probe(int x, int y)
    {
        CaptureStdout();
        inTriangulo(image, "malha2.txt", cvPoint(x, y));
        return GetCapturedStdout();
    }
    std::string nextPoint()
    {
        CaptureStdout();
        desenhaPonto(image, "malha2.txt");
        return GetCapturedStdout();
    }

    teste::Workspace ws;
    teste::InDirectory here_;
    IplImage* image = nullptr;
};

const cv::Vec3b kRed(0, 0, 255), kBlack(0, 0, 0);

CvSeq* sequenceOf(std::initializer_list<CvPoint> points)
{
    CvSeq* sq = cvCreateSeq(CV_32SC2, sizeof(CvContour), sizeof(CvPoint), storage);
    for (CvPoint p : points)
        cvSeqPush(sq, &p);
    return sq;
}

// The outline colour that desenhaTriangulo takes from rand() right after srand(seed).
cv::Vec3b outlineColour(unsigned seed)
{
    std::srand(seed);
    const int c = std::rand();
    return cv::Vec3b((c >> 16) & 255, (c >> 8) & 255, c & 255);
}

} // namespace

TEST_F(Authoring_MeshDrawing, desenhaTriangulo_outlines_the_last_three_points_only)
{
    // Points 2, 3, 4 make a triangle with two diagonal edges, whose pixels take the whole colour.
    CvSeq* sq = sequenceOf({{60, 5}, {90, 5}, {10, 10}, {40, 40}, {10, 70}});
    const cv::Vec3b colour = outlineColour(77);
    std::srand(77);
    CaptureStdout();
    EXPECT_EQ(image, desenhaTriangulo(image, sq));
    EXPECT_EQ("temos um triangulo\n", GetCapturedStdout());
    EXPECT_EQ(colour, at(25, 25)) << "edge from point 2 to point 3";
    EXPECT_EQ(colour, at(25, 55)) << "edge from point 3 to point 4";
    EXPECT_NE(kBlack, at(10, 40)) << "edge from point 4 to point 2";
    EXPECT_EQ(kBlack, at(75, 5)) << "points 0 and 1 are not joined";
    EXPECT_EQ(kBlack, at(20, 40)) << "an outline, not a filled triangle";
}

TEST_F(Authoring_MeshDrawing, desenhaTriangulo_with_fewer_than_three_points_does_nothing)
{
    CaptureStdout();
    desenhaTriangulo(image, sequenceOf({}));
    desenhaTriangulo(image, sequenceOf({{1, 1}, {50, 50}}));
    EXPECT_EQ("", GetCapturedStdout());
    EXPECT_EQ(0, marked());

    CvSeq* bytes = cvCreateSeq(CV_8UC1, sizeof(CvSeq), 1, storage);
    for (char c : {'a', 'b', 'c'})
        cvSeqPush(bytes, &c);
    EXPECT_THROW(desenhaTriangulo(image, bytes), cv::Exception) << "not a point sequence";
}

TEST_F(Authoring_MeshDrawing, carregarMalha_draws_the_source_mesh_in_blue_and_the_target_in_cyan)
{
    vert[1][0] = 10, vert[1][1] = 10; // a right triangle with one diagonal edge
    vert[2][0] = 50, vert[2][1] = 10;
    vert[3][0] = 10, vert[3][1] = 50;
    vert2[1][0] = 60, vert2[1][1] = 20;
    vert2[2][0] = 90, vert2[2][1] = 50;
    vert2[3][0] = 60, vert2[3][1] = 50;
    trg[0][0] = 1, trg[0][1] = 2, trg[0][2] = 3;

    carregarMalha(image, 0);
    EXPECT_TRUE(nodeAt(10, 10));
    EXPECT_TRUE(nodeAt(50, 10));
    EXPECT_TRUE(nodeAt(10, 50));
    EXPECT_EQ(cv::Vec3b(255, 0, 0), at(30, 30)) << "the diagonal edge, blue";
    EXPECT_GT(at(30, 10)[0], 150);
    EXPECT_EQ(0, at(30, 10)[1]);
    EXPECT_TRUE(nodeAt(0, 0)) << "the 98 empty entries: a dot at node 0";
    EXPECT_EQ(kBlack, at(5, 5));
    EXPECT_EQ(kBlack, at(75, 40)) << "not the target mesh";

    cvZero(image);
    carregarMalha(image, 1);
    EXPECT_TRUE(nodeAt(60, 20));
    EXPECT_TRUE(nodeAt(90, 50));
    EXPECT_FALSE(nodeAt(10, 10));
    EXPECT_EQ(cv::Vec3b(255, 255, 0), at(75, 35)) << "the diagonal edge, cyan";
    EXPECT_EQ(kBlack, at(30, 30));
}

TEST_F(Authoring_MeshDrawing, carregarMalha_skips_an_entry_naming_a_node_beyond_the_table)
{
    for (int k = 0; k < kTriangulos; ++k)
        trg[k][0] = 64;
    carregarMalha(image, 0);
    EXPECT_EQ(0, marked());
}

TEST_F(Authoring_MeshDrawing, desenhaPonto_draws_the_record_at_count_by_lines)
{
    // Pick numbers from 10 on and coordinates of other widths: records are lines, not 10 bytes.
    ws.write("malha2.txt", "9 5 5\n10 70 30\n11 -3 8\n12 10 50\n\n\n");
    count = 1;
    EXPECT_EQ("10 70 30\n", nextPoint());
    EXPECT_EQ(kRed, at(70, 30));
    EXPECT_EQ("11 -3 8\n", nextPoint()) << "a point off the image is printed and clipped";
    EXPECT_EQ("12 10 50\n", nextPoint());
    EXPECT_EQ(4, count);
    EXPECT_EQ(255, at(12, 50)[2]) << "radius 2";
    EXPECT_EQ(0, at(14, 50)[2]);

    const int before = marked();
    EXPECT_EQ("", nextPoint()) << "blank lines at the end are no records";
    EXPECT_EQ(4, count) << "past the end nothing moves";
    EXPECT_EQ(before, marked());
}

TEST_F(Authoring_MeshDrawing, desenhaPonto_names_a_bad_record_and_passes_over_it)
{
    ws.write("malha2.txt", "0 10 10\n1 50\n2 x 5\n3 20 20 7\n4 30 30");
    nextPoint();
    for (int line = 2; line <= 4; ++line) {
        CaptureStderr();
        EXPECT_EQ("", nextPoint());
        const std::string err = GetCapturedStderr();
        EXPECT_NE(std::string::npos, err.find("\"malha2.txt\", linha " + std::to_string(line)))
            << err;
        EXPECT_EQ(line, count);
    }
    EXPECT_EQ("4 30 30\n", nextPoint()) << "a last line without its line end";
    EXPECT_EQ(kBlack, at(20, 20));
}

TEST_F(Authoring_MeshDrawing, readers_of_a_file_that_cannot_be_opened_name_it)
{
    CaptureStderr();
    EXPECT_EQ("", nextPoint());
    EXPECT_EQ("", probe(40, 30));
    const std::string err = GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("não foi possível abrir \"malha2.txt\"")) << err;
    EXPECT_EQ(0, count);
    EXPECT_EQ(kRed, at(40, 30)) << "the probe disc is drawn all the same";
    EXPECT_EQ(kBlack, at(10, 10));
    EXPECT_EQ(nullptr, ff);
}

TEST_F(Authoring_MeshDrawing, inTriangulo_finds_a_pixel_whichever_way_the_corners_were_clicked)
{
    ws.write("malha2.txt", "0 10 10\n1 20 10\n2 10 20\n");
    EXPECT_EQ("entrou no triangulo 0temos um triangulo\n", probe(13, 13)) << "clockwise";
    EXPECT_EQ(kRed, at(13, 13));
    EXPECT_NE(kBlack, at(15, 10)) << "the outline";

    ws.write("malha2.txt", "3 10 10\n4 10 20\n5 20 10\n");
    EXPECT_EQ("entrou no triangulo 1temos um triangulo\n", probe(13, 13)) << "counter-clockwise";
    EXPECT_EQ("entrou no triangulo 1temos um triangulo\n", probe(20, 10)) << "a corner";
    EXPECT_EQ("", probe(16, 16)) << "outside";
}

TEST_F(Authoring_MeshDrawing, inTriangulo_reports_the_first_triangle_in_the_file_that_holds_it)
{
    // Two triangles sharing the edge (10,10)-(30,30), then one over both.
    ws.write("malha2.txt", "0 10 10\n1 30 10\n2 30 30\n"
                           "3 10 10\n4 30 30\n5 10 30\n"
                           "6 0 0\n7 90 0\n8 0 70\n");
    EXPECT_EQ("entrou no triangulo 0temos um triangulo\n", probe(25, 15));
    EXPECT_EQ("entrou no triangulo 1temos um triangulo\n", probe(15, 25));
    EXPECT_EQ("entrou no triangulo 2temos um triangulo\n", probe(50, 5));
    EXPECT_EQ("entrou no triangulo 0temos um triangulo\n", probe(20, 20)) << "the shared edge";
    EXPECT_EQ("", probe(80, 70));
    EXPECT_EQ(kRed, at(80, 70)) << "a miss draws only the probe";
}

TEST_F(Authoring_MeshDrawing, inTriangulo_degenerate_triangles)
{
    ws.write("malha2.txt", "0 40 40\n1 40 40\n2 40 40\n");
    EXPECT_EQ("entrou no triangulo 0temos um triangulo\n", probe(3, 77))
        << "coinciding corners hold every pixel";
    ws.write("malha2.txt", "0 10 10\n1 20 20\n2 30 30\n");
    EXPECT_EQ("entrou no triangulo 0temos um triangulo\n", probe(50, 50)) << "on the line";
    EXPECT_EQ("", probe(50, 51));
}

TEST_F(Authoring_MeshDrawing, inTriangulo_leaves_a_last_triangle_of_one_or_two_records_unread)
{
    // A pixel inside the triangle that the two trailing records would begin.
    ws.write("malha2.txt", "0 60 60\n1 70 60\n2 60 70\n3 0 0\n4 90 0\n");
    EXPECT_EQ("", probe(30, 10));
    ws.write("malha2.txt", "0 0 0\n");
    EXPECT_EQ("", probe(0, 0)) << "a lone corner is no triangle";
}

TEST_F(Authoring_MeshDrawing, inTriangulo_stops_at_a_bad_record)
{
    ws.write("malha2.txt", "0 60 60\n1 70 60\n2 60 70\n3 0 0\n4 90 zero\n5 0 70\n");
    CaptureStderr();
    EXPECT_EQ("", probe(30, 10));
    const std::string err = GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("\"malha2.txt\", linha 5")) << err;
}

TEST_F(Authoring_MeshDrawing, inTriangulo_holds_edges_of_either_winding_and_the_first_wins)
{
    // Clockwise on screen: inside, on an edge, on the hypotenuse.
    ws.write("malha2.txt", "0 10 10\n1 20 10\n2 10 20\n");
    for (const auto& p : {cv::Point(15, 10), cv::Point(15, 15), cv::Point(12, 12)})
        EXPECT_EQ("entrou no triangulo 0temos um triangulo\n", probe(p.x, p.y)) << p;
    // Random triangles of both windings: every probe goes to the first triangle whose three
    // edge values are all >= 0 or all <= 0, computed here plainly.
    std::mt19937 random(11);
    std::ostringstream file;
    std::vector<cv::Point> c;
    for (int k = 0; k < 18; ++k) {
        c.emplace_back(static_cast<int>(random() % 24), static_cast<int>(random() % 24));
        file << k << ' ' << c.back().x << ' ' << c.back().y << '\n';
    }
    ws.write("malha2.txt", file.str());
    int found = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) {
            int expected = -1;
            for (int t = 0; t < 6 && expected < 0; ++t) {
                int pos = 0, neg = 0;
                for (int e = 0; e < 3; ++e) {
                    const cv::Point a = c[3 * t + e], b = c[3 * t + (e + 1) % 3];
                    const long v = long(b.x - a.x) * (y - a.y) - long(x - a.x) * (b.y - a.y);
                    pos += v > 0;
                    neg += v < 0;
                }
                if (pos == 0 || neg == 0) expected = t;
            }
            found += expected >= 0;
            EXPECT_EQ(expected < 0 ? ""
                                   : "entrou no triangulo " + std::to_string(expected) +
                                         "temos um triangulo\n",
                      probe(x, y))
                << x << "," << y;
        }
    EXPECT_GT(found, 100) << "the triangles cover a good part of the grid";
}
