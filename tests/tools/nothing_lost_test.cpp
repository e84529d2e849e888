// Nothing lost: when a write fails part-way (here: a file-size limit, as a full disk would do),
// the earlier "result.jpg" and every earlier line of an appended mesh file stay as they were,
// and no partial line or temporary file is left.
#include "authoring/point_picking.h"
#include "correction/driver.h"
#include "correction/image_ops.h"
#include "tests/support/workspace.h"
#include "utilities/whole_file.h"

#include <opencv2/highgui/highgui_c.h>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs `program` with its arguments under a file-size limit of `kib` KiB (which applies to the
// files that catch its console output too).
teste::RunResult runLimited(int kib, const std::string& program, const std::string& arguments,
                            const std::string& input, const teste::Workspace& ws)
{
    return teste::run(
        "/bin/bash",
        {"-c", "ulimit -f " + std::to_string(kib) + " && exec " + program + " " + arguments}, input,
        ws.dir());
}

} // namespace

TEST(Tools_NothingLost, failed_save_keeps_the_earlier_result)
{
    teste::Workspace ws;
    teste::writeSmallWorkspace(ws, 99);
    ws.write("result.jpg", "earlier result");
    const auto before = ws.list();
    // 1 KiB holds the console output but not the result.
    const auto run = runLimited(1, CORRIGIR_PATH, "", "x.png\n", ws);
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("result.jpg")) << run.err;
    EXPECT_EQ(std::string::npos, run.out.find("Sua nova imagem")) << run.out;
    EXPECT_EQ("earlier result", ws.read("result.jpg"));
    EXPECT_EQ(before, ws.list()) << "no temporary file is left";
}

TEST(Tools_NothingLost, failed_appends_keep_every_earlier_matrix_line)
{
    teste::Workspace ws;
    teste::writeSmallWorkspace(ws, 2);
    // Matrix files just under 1 KiB: the 1 KiB limit lets a few bytes of the appended lines
    // through, which must be taken back.
    std::string earlier = "1 0 200\n0 1 200\n";
    earlier += std::string(1020 - earlier.size() - 1, ' ') + "\n";
    for (int t = 0; t < 99; ++t)
        ws.write("matrix/" + std::to_string(t) + ".txt", earlier);
    const auto run = runLimited(1, MALHA_PATH, "matrizes", "", ws);
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("99 de 99")) << run.err;
    for (int t = 0; t < 99; ++t)
        ASSERT_EQ(earlier, ws.read("matrix/" + std::to_string(t) + ".txt")) << t;
}

TEST(Tools_NothingLost, failed_pick_append_keeps_every_earlier_line)
{
    teste::Workspace ws;
    const std::string earlier = "10 20\n30 40\n";
    ws.write("vertices.txt", earlier);
    const pid_t child = fork();
    if (child == 0) {
        // Room for three more bytes: without care, "120" of "120 45\n" would stay behind.
        const teste::InDirectory here(ws.dir());
        corretor::ignorarSinalDeTamanho();
        const rlimit limite{earlier.size() + 3, earlier.size() + 3};
        setrlimit(RLIMIT_FSIZE, &limite);
        corretor::img = cvCreateImage(cvSize(200, 150), IPL_DEPTH_8U, 3);
        corretor::on_mouse3(CV_EVENT_LBUTTONDOWN, 120, 45, 0, nullptr);
        _exit(corretor::pt.x == 120 && corretor::pt.y == 45 ? 0 : 3);
    }
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << "the pick itself goes on";
    EXPECT_EQ(earlier, ws.read("vertices.txt"));
}
