// Point picking and mesh drawing: the four mouse callbacks, the readers of the triangle point
// file, and the probe, which must answer as triangle location does.
#include "authoring/editor_picks.h"
#include "authoring/mesh_drawing.h"
#include "authoring/point_picking.h"
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "tests/support/state.h"
#include "tests/support/workspace.h"

#include <opencv2/highgui/highgui_c.h>

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace corretor;

namespace {

// Black images in img (200 x 150) and img2 (120 x 100), in a fresh workspace that is the
// working directory.
class Authoring_Picking : public ::testing::Test
{
protected:
    Authoring_Picking() : here_(ws.dir()) { images(0); }
    ~Authoring_Picking() override { images(-1); }
    static void images(int origin) // -1: none
    {
        free(img), free(img2);
        img = origin < 0 ? nullptr : cvCreateImage(cvSize(200, 150), IPL_DEPTH_8U, 3);
        img2 = origin < 0 ? nullptr : cvCreateImage(cvSize(120, 100), IPL_DEPTH_8U, 3);
        for (IplImage* i : {img, img2})
            if (i != nullptr) cvZero(i), i->origin = origin;
    }
    static cv::Vec3b at(const IplImage* image, int x, int y)
    {
        return cv::cvarrToMat(image).at<cv::Vec3b>(y, x);
    }
    // What `f` printed on standard output; standard error goes to `err`.
    static std::string printed(const std::function<void()>& f, std::string* err = nullptr)
    {
        testing::internal::CaptureStdout(), testing::internal::CaptureStderr();
        f();
        const std::string e = testing::internal::GetCapturedStderr();
        if (err != nullptr) *err = e;
        return testing::internal::GetCapturedStdout();
    }

    teste::Workspace ws;
    teste::InDirectory here_;
};

} // namespace

// Only a left press acts; then each callback keeps, prints, pushes, marks (a red disc of its
// radius), appends and counts as its row says, y turned over (height - y) by on_mouse and
// on_mouse2 only for an image whose origin is its bottom-left. A press with no image does
// nothing.
TEST_F(Authoring_Picking, each_callback_as_its_row_says)
{
    // Callback, on img2, flips, the point it keeps, its sequence, radius, file and the start of
    // its line, the counter it advances.
    const std::tuple<CvMouseCallback, bool, bool, CvPoint*, CvSeq**, int, const char*, std::string,
                     int*>
        casos[] = {{on_mouse, false, true, &pt, &seq, 2, "none", "", &count},
                   {on_mouse3, false, false, &pt, &seq, 1, "vertices.txt", "", nullptr},
                   {on_mouse4, true, false, &ponto, &seq, 1, "vertices2.txt", "", &t_count2},
                   {on_mouse2, true, true, &ponto, &seq2, 2, "malha2.txt", "0 ", &t_count2}};
    for (int origin : {0, 1})
        for (const auto& [f, pattern, flips, p, sq, radius, file, line, counter] : casos) {
            SCOPED_TRACE(file + std::string(origin ? ", bottom-left origin" : ""));
            teste::estadoInicial(), images(origin);
            ws.write(file, "1 2\n"); // kept: lines are appended
            for (int event : {CV_EVENT_MOUSEMOVE, CV_EVENT_LBUTTONUP, CV_EVENT_RBUTTONDOWN})
                f(event, 12, 30, CV_EVENT_FLAG_LBUTTON, nullptr);
            const IplImage* image = pattern ? img2 : img;
            const int y = flips && origin ? image->height - 30 : 30;
            EXPECT_EQ("pixel x: 12  y:" + std::to_string(y) + "\n",
                      printed([&] { f(CV_EVENT_LBUTTONDOWN, 12, 30, 0, nullptr); }));
            EXPECT_TRUE(p->x == 12 && p->y == y && (*sq)->total == 1 &&
                        seq->total + seq2->total == 1);
            EXPECT_TRUE(at(image, 12, y) == cv::Vec3b(0, 0, 255) &&
                        at(image, 12 + radius, y)[2] == 255 &&
                        at(image, 12 + radius + 2, y)[2] == 0);
            EXPECT_EQ(0, cv::countNonZero(cv::cvarrToMat(pattern ? img : img2).reshape(1)));
            const bool none = std::string(file) == "none";
            EXPECT_EQ("1 2\n" + (none ? "" : line + "12 " + std::to_string(y) + "\n"),
                      ws.read(file));
            EXPECT_EQ(counter ? 1 : 0, count + t_count2);
            EXPECT_TRUE((counter == nullptr || *counter == 1) && fp == nullptr && ff == nullptr);
            fs::remove(ws / file);
        }
    teste::estadoInicial(), images(-1);
    for (auto f : {on_mouse, on_mouse2, on_mouse3, on_mouse4})
        f(CV_EVENT_LBUTTONDOWN, 1, 1, 0, nullptr);
    EXPECT_TRUE(ws.list().empty() && count + t_count2 == 0);
}

TEST_F(Authoring_Picking, a_line_that_cannot_be_appended_is_named_and_the_pick_goes_on)
{
    fs::create_directory("vertices.txt"), fs::create_directory("malha2.txt");
    std::string err;
    EXPECT_EQ("pixel x: 12  y:13\npixel x: 14  y:15\n",
              printed(
                  [] {
                      on_mouse3(CV_EVENT_LBUTTONDOWN, 12, 13, 0, nullptr);
                      on_mouse2(CV_EVENT_LBUTTONDOWN, 14, 15, 0, nullptr);
                  },
                  &err));
    EXPECT_EQ(0u, err.find("aviso: não foi possível anexar a \"vertices.txt\"")) << err;
    EXPECT_NE(std::string::npos, err.find("aviso: não foi possível anexar a \"malha2.txt\""));
    EXPECT_TRUE(seq->total == 1 && t_count2 == 1 && at(img2, 14, 15)[2] == 255);
    // Room for three more bytes under a file-size limit (set in a child process): without care,
    // "120" of "120 45\n" would stay behind.
    ws.write("limitado/vertices.txt", "10 20\n30 40\n");
    const pid_t child = fork();
    if (child == 0) {
        const teste::InDirectory limitado(ws / "limitado");
        const rlimit limite{12 + 3, 12 + 3};
        std::signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &limite);
        on_mouse3(CV_EVENT_LBUTTONDOWN, 120, 45, 0, nullptr);
        _exit(pt.x == 120 && pt.y == 45 ? 0 : 3);
    }
    int status = -1;
    EXPECT_TRUE(waitpid(child, &status, 0) == child && WIFEXITED(status) && !WEXITSTATUS(status));
    EXPECT_EQ("10 20\n30 40\n", ws.read("limitado/vertices.txt"));
}

// desenhaTriangulo: the last three points only, in one colour from rand(), nothing for fewer
// than three, an exception for a sequence that does not hold points. carregarMalha skips an
// entry naming a node beyond the table.
TEST_F(Authoring_Picking, drawing_outlines_and_meshes)
{
    CvSeq* sq = cvCreateSeq(CV_32SC2, sizeof(CvContour), sizeof(CvPoint), storage);
    for (CvPoint p :
         {cvPoint(60, 5), cvPoint(90, 5), cvPoint(10, 10), cvPoint(40, 40), cvPoint(10, 70)}) {
        const bool three = sq->total >= 3;
        EXPECT_EQ(three ? "temos um triangulo\n" : "", printed([&] { desenhaTriangulo(img, sq); }));
        cvSeqPush(sq, &p);
    }
    std::srand(77);
    const int c = std::rand();
    std::srand(77), cvZero(img), desenhaTriangulo(img, sq);
    EXPECT_EQ(cv::Vec3b((c >> 16) & 255, (c >> 8) & 255, c & 255), at(img, 25, 25)) << "2 to 3";
    EXPECT_TRUE(at(img, 25, 25) == at(img, 25, 55) && at(img, 75, 5) == cv::Vec3b() &&
                at(img, 20, 40) == cv::Vec3b())
        << "3 to 4; neither 0 to 1 nor the inside";
    CvSeq* bytes = cvCreateSeq(CV_8UC1, sizeof(CvSeq), 1, storage);
    cvSeqPushMulti(bytes, "abc", 3);
    EXPECT_THROW(desenhaTriangulo(img, bytes), cv::Exception);
    for (auto& t : trg)
        t[0] = 64;
    carregarMalha(img2, 0);
    EXPECT_EQ(0, cv::countNonZero(cv::cvarrToMat(img2).reshape(1)));
}

// Records are lines (pick numbers from 10 on, coordinates of any width); a bad record is named
// and passed over; blank lines at the end are no records; a last line needs no line end. A
// file that cannot be opened is named, and only the probe's disc is drawn.
TEST_F(Authoring_Picking, desenhaPonto_draws_the_record_at_count)
{
    ws.write("malha2.txt", "9 5 5\n10 70 30\n11 -3 8\n1 50\n2 x 5\n3 20 20 7\n12 10 50\n\n\n");
    count = 1;
    const std::pair<std::string, std::string> calls[] = {
        {"10 70 30\n", ""},
        {"11 -3 8\n", ""},
        {"", "\"malha2.txt\", linha 4: não é um registro de três inteiros \"k x y\"; passando ao "
             "seguinte\n"},
        {"", "\"malha2.txt\", linha 5"},
        {"", "\"malha2.txt\", linha 6"},
        {"12 10 50\n", ""},
        {"", ""}};
    std::string err;
    for (const auto& [out, aviso] : calls) {
        EXPECT_EQ(out, printed([] { desenhaPonto(img2, "malha2.txt"); }, &err));
        EXPECT_EQ(aviso.empty(), err.empty()) << err;
        EXPECT_NE(std::string::npos, err.find(aviso)) << err;
    }
    EXPECT_EQ(7, count);
    EXPECT_TRUE(at(img2, 70, 30)[2] == 255 && at(img2, 12, 50)[2] == 255 &&
                at(img2, 14, 50)[2] == 0);
    EXPECT_EQ(0, at(img2, 20, 20)[2]);
    ws.write("malha2.txt", "0 30 30");
    count = 0;
    EXPECT_EQ("0 30 30\n", printed([] { desenhaPonto(img2, "malha2.txt"); }));
    fs::remove("malha2.txt");
    for (auto f : {+[] { desenhaPonto(img2, "malha2.txt"); },
                   +[] { inTriangulo(img, "malha2.txt", cvPoint(40, 30)); }}) {
        EXPECT_EQ("", printed(f, &err));
        EXPECT_EQ(0u, err.find("aviso: não foi possível abrir \"malha2.txt\"")) << err;
    }
    EXPECT_TRUE(count == 1 && at(img, 40, 30)[2] == 255 && at(img, 10, 10)[2] == 0);
}

// The three pick files as the editor and the drawing read them back: a byte order mark at the
// start of a file and "\r\n" line ends belong to no record, so every pick keeps the number of
// its line, and a line that is no record is passed over by both.
TEST_F(Authoring_Picking, pick_files_are_read_alike_by_the_editor_and_the_drawing)
{
    const std::string bom = "\xEF\xBB\xBF";
    const std::tuple<const char*, std::string, std::vector<cv::Point>> casos[] = {
        {"vertices.txt", bom + "10 20\n30 40\n", {{10, 20}, {30, 40}}},
        {"vertices2.txt", bom + "5 6\r\n7 8\r\n\r\n", {{5, 6}, {7, 8}}},
        {"malha2.txt", bom + "0 1 2\r\n1 3 4\nx\n2 5 6 7\n3 8 9", {{1, 2}, {3, 4}, {8, 9}}}};
    for (const auto& [arquivo, texto, pontos] : casos)
        ws.write(arquivo, texto);
    lerMarcacoesDosArquivos();
    for (const auto& [arquivo, texto, pontos] : casos) {
        std::vector<cv::Point> lidos;
        for (const Marcacao& m : marcacoes)
            if (m.arquivo == arquivo && m.numero == int(lidos.size()) + 1)
                lidos.emplace_back(m.ponto.x, m.ponto.y);
        EXPECT_EQ(pontos, lidos) << arquivo;
    }
    EXPECT_EQ(7u, marcacoes.size());
    std::string err;
    count = 0;
    EXPECT_EQ("0 1 2\n1 3 4\n",
              printed([] { desenhaPonto(img2, "malha2.txt"), desenhaPonto(img2, "malha2.txt"); }));
    for (const int linha : {3, 4}) {
        EXPECT_EQ("", printed([] { desenhaPonto(img2, "malha2.txt"); }, &err));
        EXPECT_NE(std::string::npos, err.find("linha " + std::to_string(linha) + ":")) << err;
    }
    EXPECT_EQ("3 8 9\n", printed([] { desenhaPonto(img2, "malha2.txt"); }));
}

// Random triangles of both windings: every probe goes to the first triangle whose three side
// values (edges p1 to p2, p2 to p3, p3 to p1) are all >= 0 or all <= 0, worked out here
// plainly, so edges and corners of either winding belong to it. A last triangle of one or two
// records is not searched; a bad record ends the search.
TEST_F(Authoring_Picking, inTriangulo_takes_the_first_triangle_that_holds_the_pixel)
{
    std::mt19937 random(11);
    int found = 0;
    for (int round = 0; round < 3; ++round) {
        std::string file;
        std::vector<cv::Point> c;
        for (int k = 0; k < 18; ++k) {
            c.emplace_back(int(random() % 24), int(random() % 24));
            file += std::to_string(k) + " " + std::to_string(c[k].x) + " " +
                    std::to_string(c[k].y) + "\n";
        }
        ws.write("malha2.txt", file);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) {
                const auto holds = [&](int t) {
                    int pos = 0, neg = 0;
                    for (int e = 0; e < 3; ++e) {
                        const cv::Point a = c[3 * t + e], b = c[3 * t + (e + 1) % 3];
                        const long v = long(b.x - a.x) * (y - a.y) - long(x - a.x) * (b.y - a.y);
                        pos += v > 0, neg += v < 0;
                    }
                    return pos == 0 || neg == 0;
                };
                int t = 0;
                while (t < 6 && !holds(t))
                    ++t;
                found += t < 6;
                ASSERT_EQ(t < 6
                              ? "entrou no triangulo " + std::to_string(t) + "temos um triangulo\n"
                              : "",
                          printed([&] { inTriangulo(img, "malha2.txt", cvPoint(x, y)); }))
                    << x << "," << y;
            }
    }
    EXPECT_GT(found, 300) << "the triangles cover a good part of the grid";
    std::string err;
    const std::pair<std::string, std::string> ends[] = {
        {"3 0 0\n4 90 0\n", ""},
        {"3 0 0\n4 90 zero\n5 0 70\n", "aviso: \"malha2.txt\", linha 5: não é um registro de três "
                                       "inteiros \"k x y\"; a busca para aqui\n"}};
    for (const auto& [last, aviso] : ends) { // the pixel lies in the triangle they would begin
        ws.write("malha2.txt", "0 60 60\n1 70 60\n2 60 70\n" + last);
        EXPECT_EQ("", printed([] { inTriangulo(img, "malha2.txt", cvPoint(30, 10)); }, &err));
        EXPECT_EQ(aviso, err);
    }
}
