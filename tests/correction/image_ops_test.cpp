#include "correction/image_ops.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

using namespace corretor;

TEST(Correction_Open, loads_any_picture_as_8_bit_colour)
{
    teste::Workspace ws;
    ws.writeImage("grey.png", cv::Mat(5, 7, CV_8UC1, cv::Scalar(90)));
    ws.writeImage("deep.png", cv::Mat(3, 4, CV_16UC3, cv::Scalar(65535, 0, 257)));
    IplImage* grey = open((ws / "grey.png").c_str());
    ASSERT_NE(nullptr, grey);
    EXPECT_EQ(7, grey->width);
    EXPECT_EQ(5, grey->height);
    EXPECT_EQ(3, grey->nChannels);
    EXPECT_EQ(IPL_DEPTH_8U, grey->depth);
    EXPECT_EQ(90, static_cast<uchar>(grey->imageData[grey->widthStep * 4 + 6 * 3 + 2]));
    IplImage* deep = open((ws / "deep.png").c_str());
    ASSERT_NE(nullptr, deep);
    EXPECT_EQ(IPL_DEPTH_8U, deep->depth);
    EXPECT_EQ(255, static_cast<uchar>(deep->imageData[0]));
    EXPECT_EQ(1, static_cast<uchar>(deep->imageData[2]));
    free(grey);
    free(deep);
}

TEST(Correction_Open, unreadable_files_give_null_and_name_the_file)
{
    teste::Workspace ws;
    ws.write("text.jpg", "not a picture");
    ws.write("empty.jpg", "");
    for (const char* name : {"missing.jpg", "text.jpg", "empty.jpg", "."}) {
        limparFalha();
        EXPECT_EQ(nullptr, open((ws / name).c_str())) << name;
        EXPECT_NE(std::string::npos, motivoFalha().find(name)) << motivoFalha();
    }
}

TEST(Correction_Save, writes_by_extension_and_replaces)
{
    teste::Workspace ws;
    ws.write("result.jpg", "old");
    cv::Mat picture = teste::pictureOf(16, 8, 1);
    IplImage header = cvIplImage(picture);
    ASSERT_TRUE(save((ws / "result.jpg").c_str(), &header));
    const std::string bytes = ws.read("result.jpg");
    ASSERT_GT(bytes.size(), 3u);
    EXPECT_EQ("\xFF\xD8\xFF", bytes.substr(0, 3)) << "a JPEG file";
    ASSERT_TRUE(save((ws / "copy.png").c_str(), &header));
    cv::Mat back = cv::imread((ws / "copy.png").string());
    EXPECT_EQ(0, cv::norm(back, picture, cv::NORM_INF)) << "PNG is lossless";
    EXPECT_EQ((std::vector<std::string>{"copy.png", "result.jpg"}), ws.list())
        << "no temporary file is left";
}

TEST(Correction_Save, failure_keeps_the_earlier_file_and_leaves_nothing_behind)
{
    teste::Workspace ws;
    ws.write("result.jpg", "earlier result");
    cv::Mat tooWide(1, 70000, CV_8UC3, cv::Scalar(1, 2, 3)); // beyond what JPEG can hold
    IplImage header = cvIplImage(tooWide);
    limparFalha();
    EXPECT_FALSE(save((ws / "result.jpg").c_str(), &header));
    EXPECT_NE(std::string::npos, motivoFalha().find("result.jpg")) << motivoFalha();
    EXPECT_EQ("earlier result", ws.read("result.jpg"));

    cv::Mat small(2, 2, CV_8UC3, cv::Scalar(0));
    header = cvIplImage(small);
    limparFalha();
    EXPECT_FALSE(save((ws / "noextension").c_str(), &header));
    limparFalha();
    EXPECT_FALSE(save((ws / "missing-folder/result.jpg").c_str(), &header));
    EXPECT_NE(std::string::npos, motivoFalha().find("missing-folder")) << motivoFalha();
    std::filesystem::create_directory(ws / "folder.jpg");
    ws.write("folder.jpg/inside", "x");
    limparFalha();
    EXPECT_FALSE(save((ws / "folder.jpg").c_str(), &header)) << "cannot replace a folder";
    EXPECT_EQ((std::vector<std::string>{"folder.jpg", "result.jpg"}), ws.list());
}
