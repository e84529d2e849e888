#include "authoring/point_picking.h"
#include "correction/driver.h"
#include "correction/image_ops.h"
#include "mesh/mesh_store.h"
#include "tests/support/workspace.h"

#include <opencv2/core.hpp>
#include <opencv2/highgui/highgui_c.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using namespace corretor;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

// Black images in img (200 x 150) and img2 (120 x 100), counters and sequences as at start,
// and a fresh workspace as the working directory.
class Authoring_PointPicking : public ::testing::Test
{
protected:
    Authoring_PointPicking() : here_(ws.dir())
    {
        reiniciarMarcacao();
        img = black(200, 150);
        img2 = black(120, 100);
    }
    ~Authoring_PointPicking() override
    {
        free(img);
        free(img2);
        img = img2 = nullptr;
        reiniciarMarcacao();
    }
    static IplImage* black(int width, int height)
    {
        IplImage* image = cvCreateImage(cvSize(width, height), IPL_DEPTH_8U, 3);
        cvZero(image);
        return image;
    }
    // Sample s (0 blue, 1 green, 2 red) of the pixel in column x, row y.
    static int sample(const IplImage* image, int x, int y, int s)
    {
        return static_cast<uchar>(image->imageData[y * image->widthStep + x * 3 + s]);
    }
    static std::vector<CvPoint> points(CvSeq* sq)
    {
        std::vector<CvPoint> all;
        for (int i = 0; i < sq->total; ++i)
            all.push_back(*reinterpret_cast<CvPoint*>(cvGetSeqElem(sq, i)));
        return all;
    }
    // Red disc of `radius` 1 or 2 at (x, y): the centre and the pixels `radius` away along the
    // row are full red, the pixel one further is at most partly covered; no blue or green.
    static void expectMarker(const IplImage* image, int x, int y, int radius)
    {
        EXPECT_EQ(255, sample(image, x, y, 2)) << x << "," << y;
        EXPECT_EQ(0, sample(image, x, y, 0));
        EXPECT_EQ(0, sample(image, x, y, 1));
        EXPECT_EQ(255, sample(image, x + radius, y, 2));
        EXPECT_EQ(255, sample(image, x, y - radius, 2));
        EXPECT_LT(sample(image, x + radius + 1, y, 2), 128);
        EXPECT_EQ(0, sample(image, x + radius + 3, y, 2));
    }
    static int marked(const IplImage* image)
    {
        return cv::countNonZero(cv::cvarrToMat(image).reshape(1));
    }

    teste::Workspace ws;
    teste::InDirectory here_;
};

bool same(CvPoint a, CvPoint b)
{
    return a.x == b.x && a.y == b.y;
}

} // namespace

TEST_F(Authoring_PointPicking, on_mouse3_prints_appends_keeps_and_marks_a_node)
{
    ws.write("vertices.txt", "1 2\n");
    CaptureStdout();
    on_mouse3(CV_EVENT_LBUTTONDOWN, 120, 45, 0, nullptr);
    on_mouse3(CV_EVENT_LBUTTONDOWN, 7, 9, 0, nullptr);
    EXPECT_EQ("pixel x: 120  y:45\npixel x: 7  y:9\n", GetCapturedStdout());
    EXPECT_EQ("1 2\n120 45\n7 9\n", ws.read("vertices.txt")) << "appended after the old lines";
    EXPECT_TRUE(same(cvPoint(7, 9), pt));
    const auto picked = points(seq);
    ASSERT_EQ(2u, picked.size());
    EXPECT_TRUE(same(cvPoint(120, 45), picked[0]));
    EXPECT_EQ(0, seq2->total);
    expectMarker(img, 120, 45, 1);
    expectMarker(img, 7, 9, 1);
    EXPECT_EQ(0, marked(img2));
    EXPECT_EQ(0, count);
    EXPECT_EQ(0, t_count2);
    EXPECT_EQ(nullptr, fp) << "closed again";
}

TEST_F(Authoring_PointPicking, on_mouse_records_no_file_but_advances_count)
{
    CaptureStdout();
    on_mouse(CV_EVENT_LBUTTONDOWN, 30, 40, 0, nullptr);
    EXPECT_EQ("pixel x: 30  y:40\n", GetCapturedStdout());
    EXPECT_EQ(1, count);
    EXPECT_TRUE(same(cvPoint(30, 40), pt));
    EXPECT_EQ(1, seq->total);
    expectMarker(img, 30, 40, 2);
    EXPECT_TRUE(ws.list().empty()) << "no file";
}

TEST_F(Authoring_PointPicking, pattern_nodes_raise_the_pick_numbers_of_the_triangle_corners)
{
    CaptureStdout();
    on_mouse4(CV_EVENT_LBUTTONDOWN, 10, 11, 0, nullptr);
    on_mouse4(CV_EVENT_LBUTTONDOWN, 50, 51, 0, nullptr);
    on_mouse2(CV_EVENT_LBUTTONDOWN, 20, 21, 0, nullptr);
    on_mouse2(CV_EVENT_LBUTTONDOWN, 80, 21, 0, nullptr);
    on_mouse2(CV_EVENT_LBUTTONDOWN, 20, 81, 0, nullptr);
    GetCapturedStdout();
    EXPECT_EQ("10 11\n50 51\n", ws.read("vertices2.txt"));
    EXPECT_EQ("2 20 21\n3 80 21\n4 20 81\n", ws.read("malha2.txt"));
    EXPECT_EQ(5, t_count2);
    EXPECT_TRUE(same(cvPoint(20, 81), ponto));
    EXPECT_EQ(2, seq->total) << "on_mouse4 pushes onto seq";
    EXPECT_EQ(3, seq2->total);
    expectMarker(img2, 50, 51, 1);
    expectMarker(img2, 80, 21, 2);
    EXPECT_EQ(0, marked(img));

    // A new run appends, and its pick numbers start again from 0.
    reiniciarMarcacao();
    CaptureStdout();
    on_mouse2(CV_EVENT_LBUTTONDOWN, 5, 6, 0, nullptr);
    GetCapturedStdout();
    EXPECT_EQ("2 20 21\n3 80 21\n4 20 81\n0 5 6\n", ws.read("malha2.txt"));
    EXPECT_EQ(1, t_count2);
}

TEST_F(Authoring_PointPicking, only_a_left_press_on_an_image_acts)
{
    CaptureStdout();
    for (int event : {CV_EVENT_MOUSEMOVE, CV_EVENT_LBUTTONUP, CV_EVENT_RBUTTONDOWN,
                      CV_EVENT_MBUTTONDOWN, CV_EVENT_LBUTTONDBLCLK}) {
        on_mouse(event, 10, 10, CV_EVENT_FLAG_LBUTTON, nullptr);
        on_mouse2(event, 10, 10, CV_EVENT_FLAG_LBUTTON, nullptr);
        on_mouse3(event, 10, 10, CV_EVENT_FLAG_LBUTTON, nullptr);
        on_mouse4(event, 10, 10, CV_EVENT_FLAG_LBUTTON, nullptr);
    }
    EXPECT_EQ(0, marked(img) + marked(img2));
    free(img);
    free(img2);
    img = img2 = nullptr; // and a press with no image
    on_mouse(CV_EVENT_LBUTTONDOWN, 1, 1, 0, nullptr);
    on_mouse2(CV_EVENT_LBUTTONDOWN, 1, 1, 0, nullptr);
    on_mouse3(CV_EVENT_LBUTTONDOWN, 1, 1, 0, nullptr);
    on_mouse4(CV_EVENT_LBUTTONDOWN, 1, 1, 0, nullptr);
    EXPECT_EQ("", GetCapturedStdout());
    EXPECT_TRUE(ws.list().empty());
    EXPECT_EQ(0, count + t_count2 + seq->total + seq2->total);
}

TEST_F(Authoring_PointPicking, bottom_left_origin_turns_y_over_for_on_mouse_and_on_mouse2_only)
{
    img->origin = IPL_ORIGIN_BL;
    img2->origin = IPL_ORIGIN_BL;
    CaptureStdout();
    on_mouse(CV_EVENT_LBUTTONDOWN, 5, 0, 0, nullptr);
    on_mouse3(CV_EVENT_LBUTTONDOWN, 9, 0, 0, nullptr);
    on_mouse2(CV_EVENT_LBUTTONDOWN, 6, 30, 0, nullptr);
    on_mouse4(CV_EVENT_LBUTTONDOWN, 8, 30, 0, nullptr);
    EXPECT_EQ("pixel x: 5  y:150\npixel x: 9  y:0\npixel x: 6  y:70\npixel x: 8  y:30\n",
              GetCapturedStdout());
    EXPECT_EQ("9 0\n", ws.read("vertices.txt"));
    EXPECT_EQ("0 6 70\n", ws.read("malha2.txt"));
    EXPECT_EQ("8 30\n", ws.read("vertices2.txt"));
    // The disc of the pick at y = 150, one past the last row, reaches into the rows above.
    EXPECT_EQ(255, sample(img, 5, 149, 2));
    EXPECT_EQ(255, sample(img, 9, 0, 2));
    // A move, too, is turned over before it is ignored: nothing else changes.
    on_mouse(CV_EVENT_MOUSEMOVE, 5, 0, 0, nullptr);
    EXPECT_EQ(1, count);
}

TEST_F(Authoring_PointPicking, a_file_that_cannot_be_opened_is_named_and_the_pick_goes_on)
{
    std::filesystem::create_directory(ws / "vertices.txt");
    std::filesystem::create_directory(ws / "malha2.txt");
    CaptureStdout();
    CaptureStderr();
    on_mouse3(CV_EVENT_LBUTTONDOWN, 12, 13, 0, nullptr);
    on_mouse2(CV_EVENT_LBUTTONDOWN, 14, 15, 0, nullptr);
    const std::string err = GetCapturedStderr();
    EXPECT_EQ("pixel x: 12  y:13\npixel x: 14  y:15\n", GetCapturedStdout());
    EXPECT_NE(std::string::npos, err.find("aviso: não foi possível anexar a \"vertices.txt\""))
        << err;
    EXPECT_NE(std::string::npos, err.find("\"malha2.txt\"")) << err;
    EXPECT_EQ(1, seq->total);
    EXPECT_EQ(1, seq2->total);
    EXPECT_EQ(1, t_count2) << "the pick counts even though its line was lost";
    expectMarker(img, 12, 13, 1);
    expectMarker(img2, 14, 15, 2);
    EXPECT_EQ(nullptr, fp);
    EXPECT_EQ(nullptr, ff);
}
