// Images that a user may hand the correction run: broken, odd or enormous.
#include "tests/support/workspace.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

namespace {

const std::string kClosing = "\nSua nova imagem foi salva com o nome de: result.jpg\n\n";

class Correction_HostileImages : public ::testing::Test
{
protected:
    Correction_HostileImages() { teste::writeSmallWorkspace(ws, 99); }

    // Runs the correction on `name`; expects it to stop with a message naming `named`.
    void expectRefused(const std::string& name, const std::string& named, const std::string& why)
    {
        ws.write("result.jpg", "earlier result");
        const auto run = teste::run(CORRIGIR_PATH, {}, name + "\n", ws.dir());
        EXPECT_EQ(1, run.status) << name;
        EXPECT_NE(std::string::npos, run.err.find(named)) << run.err;
        EXPECT_NE(std::string::npos, run.err.find(why)) << run.err;
        EXPECT_EQ(std::string::npos, run.out.find("Sua nova imagem")) << run.out;
        EXPECT_EQ("earlier result", ws.read("result.jpg")) << "the earlier result stays";
    }

    // Runs the correction on `name`; expects a result of the pattern's size.
    void expectCorrected(const std::string& name, int patternWidth = 440, int patternHeight = 440)
    {
        const auto run = teste::run(CORRIGIR_PATH, {}, name + "\n", ws.dir());
        EXPECT_EQ(0, run.status) << name << ": " << run.err;
        EXPECT_NE(std::string::npos, run.out.find(kClosing)) << run.out;
        const cv::Mat result = cv::imread((ws / "result.jpg").string());
        EXPECT_EQ(patternWidth, result.cols) << name;
        EXPECT_EQ(patternHeight, result.rows) << name;
    }

    teste::Workspace ws;
};

} // namespace

TEST_F(Correction_HostileImages, unreadable_files_are_refused_by_name)
{
    ws.write("empty.jpg", "");
    ws.write("text.jpg", "this is not a picture\n");
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", teste::pictureOf(64, 48, 5), jpeg);
    ws.write("truncated.jpg", std::string(jpeg.begin(), jpeg.begin() + 20));
    std::filesystem::create_directory(ws / "folder.jpg");
    for (const char* name : {"missing.jpg", "empty.jpg", "text.jpg", "folder.jpg"})
        expectRefused(name, std::string("\"") + name + "\"", "não foi possível ler a imagem");
    expectRefused("truncated.jpg", "\"truncated.jpg\"", "está danificada");
}

TEST_F(Correction_HostileImages, odd_but_sound_pictures_are_corrected)
{
    ws.writeImage("one.png", cv::Mat(1, 1, CV_8UC3, cv::Scalar(9, 8, 7)));
    ws.writeImage("grey.png", cv::Mat(5, 6, CV_8UC1, cv::Scalar(100)));
    ws.writeImage("deep.png", cv::Mat(5, 6, CV_16UC3, cv::Scalar(40000, 1000, 65535)));
    cv::Mat alpha(5, 6, CV_8UC4, cv::Scalar(1, 2, 3, 0));
    ws.writeImage("alpha.png", alpha);
    for (const char* name : {"one.png", "grey.png", "deep.png", "alpha.png"})
        expectCorrected(name);
}

TEST_F(Correction_HostileImages, small_pattern_gives_a_small_result)
{
    ws.writeImage("data/pattern.jpg", teste::pictureOf(300, 210, 4));
    expectCorrected("x.png", 300, 210);
}

TEST_F(Correction_HostileImages, enlargement_beyond_the_image_record_is_refused_before_allocating)
{
    // 6700 x 6700 pixels enlarged four times need 26800 x 26800 x 3 bytes, over 2 GiB.
    ws.writeImage("huge.png", cv::Mat(6700, 6700, CV_8UC1, cv::Scalar(70)));
    expectRefused("huge.png", "6700x6700", "2 GiB");
}

// The address sanitizer cannot run under an address-space limit, so the sanitizer build leaves
// this test out.
#if !defined(CORRETOR_SANITIZED)
TEST_F(Correction_HostileImages, enlargement_beyond_free_memory_is_refused_before_allocating)
{
    // 4000 x 3000 pixels: enlarged four times they need about 720 MiB, more than the 680 MiB
    // address-space limit leaves once the program and its libraries are in (about 220 MiB),
    // while loading the picture itself needs under 100 MiB.
    ws.writeImage("big.png", cv::Mat(3000, 4000, CV_8UC1, cv::Scalar(70)));
    ws.write("result.jpg", "earlier result");
    const std::string command = "ulimit -v 700000 && exec " CORRIGIR_PATH;
    const auto run = teste::run("/bin/sh", {"-c", command}, "big.png\n", ws.dir());
    EXPECT_EQ(1, run.status) << run.out;
    EXPECT_NE(std::string::npos, run.err.find("memória livre")) << run.err;
    EXPECT_EQ("earlier result", ws.read("result.jpg"));
}
#endif
