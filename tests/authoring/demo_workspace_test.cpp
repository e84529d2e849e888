// Where criarDemo puts a demo workspace, and what it refuses.
#include "authoring/demo_workspace.h"
#include "utilities/report.h"

#include "tests/support/workspace.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kRaiz = {"amostra.jpg", "data", "matrix"};

class Authoring_DemoWorkspace : public ::testing::Test
{
protected:
    void SetUp() override { corretor::limparFalha(); }
    void TearDown() override { corretor::limparFalha(); }
    teste::Workspace ws;
};

} // namespace

TEST_F(Authoring_DemoWorkspace, an_empty_folder_is_filled_in_place)
{
    fs::create_directory(ws / "vazia");
    // A relative name with a trailing separator, from inside the parent.
    teste::InDirectory dentro(ws.dir());
    ASSERT_TRUE(corretor::criarDemo("vazia/")) << corretor::motivoFalha();
    EXPECT_EQ(ws.dir(), fs::current_path());
    EXPECT_EQ(kRaiz, ws.list("vazia")) << "no hidden folder left inside";
}

TEST_F(Authoring_DemoWorkspace, refuses_what_is_not_an_absent_or_empty_folder_and_changes_nothing)
{
    ws.write("cheia/foto.jpg", "x");
    ws.write("arquivo", "y");
    for (const char* nome : {"cheia", "arquivo"}) {
        corretor::limparFalha();
        EXPECT_FALSE(corretor::criarDemo((ws / nome).string())) << nome;
        EXPECT_NE(std::string::npos, corretor::motivoFalha().find("já existe")) << nome;
    }
    EXPECT_EQ(std::vector<std::string>{"foto.jpg"}, ws.list("cheia"));
    EXPECT_EQ("y", ws.read("arquivo"));

    corretor::limparFalha();
    EXPECT_FALSE(corretor::criarDemo((ws / "falta/nova").string()));
    EXPECT_NE(std::string::npos, corretor::motivoFalha().find("falta")) << corretor::motivoFalha();
    EXPECT_EQ((std::vector<std::string>{"arquivo", "cheia"}), ws.list());
}
