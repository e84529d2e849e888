// The correction run as a user meets it: the program started in a workspace, a name typed in.
#include "correction/stages.h"
#include "tests/support/workspace.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

namespace {

const std::string kPrompt = "Entre com o nome da imagem a corrigir: ";
const std::string kClosing = "\nSua nova imagem foi salva com o nome de: result.jpg\n\n";

class Correction_Driver : public ::testing::Test
{
protected:
    void makeWorkspace(int records) { teste::writeSmallWorkspace(ws, records); }
    teste::RunResult correct(const std::string& typed)
    {
        return teste::run(CORRIGIR_PATH, {}, typed, ws.dir());
    }

    teste::Workspace ws;
};

} // namespace

TEST_F(Correction_Driver, full_mesh_prompts_echoes_and_saves)
{
    makeWorkspace(99);
    const auto run = correct("x.png\n");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(kPrompt + "\nx.png" + teste::progressOf(20) + kClosing, run.out);
    EXPECT_EQ("", run.err);
    // The result has the pattern's size and holds the enlarged image shifted by (200, 200);
    // JPEG keeps it only approximately.
    const cv::Mat result = cv::imread((ws / "result.jpg").string());
    ASSERT_EQ(440, result.cols);
    ASSERT_EQ(440, result.rows);
    cv::Mat picture = teste::pictureOf(6, 5, 3);
    IplImage header = cvIplImage(picture);
    IplImage* once = corretor::dobra(&header);
    IplImage* twice = corretor::dobra(once);
    const cv::Mat enlarged = cv::cvarrToMat(twice);
    const double meanError =
        cv::norm(result(cv::Rect(200, 200, 24, 20)), enlarged, cv::NORM_L1) / (24 * 20 * 3);
    EXPECT_LT(meanError, 12.0);
    corretor::free(twice);
    corretor::free(once);
    EXPECT_LT(cv::mean(result(cv::Rect(0, 0, 100, 100)))[0], 1.0) << "nothing reached there";
}

TEST_F(Correction_Driver, sixty_four_triangle_records_mean_no_prompt)
{
    makeWorkspace(64);
    const auto run = correct("x.png");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("\nx.png" + teste::progressOf(20) + kClosing, run.out);
}

TEST_F(Correction_Driver, only_the_first_word_is_the_name)
{
    makeWorkspace(99);
    const auto run = correct("  x.png other.png\n");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(kPrompt + "\nx.png" + teste::progressOf(20) + kClosing, run.out);
}

TEST_F(Correction_Driver, images_that_cannot_be_loaded_stop_the_run_and_keep_the_old_result)
{
    makeWorkspace(99);
    ws.write("result.jpg", "earlier result");
    auto run = correct("missing.png\n");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("\"missing.png\"")) << run.err;
    EXPECT_EQ(std::string::npos, run.out.find("Sua nova imagem")) << run.out;

    std::filesystem::remove(ws / "data/pattern.jpg");
    run = correct("x.png\n");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("data/pattern.jpg")) << run.err;
    EXPECT_EQ("earlier result", ws.read("result.jpg"));
    EXPECT_EQ((std::vector<std::string>{"data", "matrix", "result.jpg", "x.png"}), ws.list());
}

TEST_F(Correction_Driver, name_too_long_or_missing_is_refused)
{
    makeWorkspace(99);
    auto run = correct(std::string(200, 'a') + "\n");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("199")) << run.err;
    EXPECT_EQ(kPrompt, run.out) << "nothing is echoed";

    run = correct(std::string(199, 'a') + "\n");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find(std::string(199, 'a'))) << "199 characters fit";

    run = correct(" \n\t");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("terminou")) << run.err;
    EXPECT_FALSE(ws.exists("result.jpg"));
}

TEST_F(Correction_Driver, mesh_errors_stop_before_the_prompt)
{
    makeWorkspace(99);
    ws.write("data/quelvarina.txt", "1 2 3\n1 2 x\n");
    const auto run = correct("x.png\n");
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_NE(std::string::npos, run.err.find("data/quelvarina.txt\", linha 2")) << run.err;
}

TEST_F(Correction_Driver, failed_save_is_not_reported_as_success)
{
    makeWorkspace(99);
    ws.write("result.jpg/earlier", "a folder stands where the result goes");
    const auto run = correct("x.png\n");
    EXPECT_EQ(1, run.status);
    // The console line left open by the progress is closed before the message.
    EXPECT_EQ(kPrompt + "\nx.png" + teste::progressOf(20) + "\n", run.out);
    EXPECT_NE(std::string::npos, run.err.find("result.jpg")) << run.err;
    EXPECT_EQ("a folder stands where the result goes", ws.read("result.jpg/earlier"));
}
