// The malha program as a user meets it: subcommands run in a workspace folder.
#include "tests/support/workspace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

namespace {

// Vertex files of `n` nodes: the target in the pattern's field, the source the same nodes in
// an enlarged 110 x 110 picture (four times 110 is 440, the pattern's size), slightly moved.
void writeNodes(const teste::Workspace& ws, const std::vector<cv::Point>& target)
{
    std::ostringstream source, targetText;
    for (const auto& p : target) {
        targetText << p.x << ' ' << p.y << '\n';
        source << p.x + (p.y % 7) - 3 << ' ' << p.y + (p.x % 5) - 2 << '\n';
    }
    ws.write("data/verticesamp4.txt", source.str());
    ws.write("data/vertices2.txt", targetText.str());
}

std::vector<cv::Point> fieldNodes(int n, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<cv::Point> nodes = {{218, 8}, {428, 218}, {218, 428}, {8, 218}};
    while (static_cast<int>(nodes.size()) < n) {
        const cv::Point p(30 + static_cast<int>(random() % 380),
                          30 + static_cast<int>(random() % 380));
        if (std::find(nodes.begin(), nodes.end(), p) == nodes.end()) nodes.push_back(p);
    }
    return nodes;
}

class Tools_Malha : public ::testing::Test
{
protected:
    teste::RunResult malha(const std::vector<std::string>& args)
    {
        return teste::run(MALHA_PATH, args, "", ws.dir());
    }
    teste::Workspace ws;
};

} // namespace

TEST_F(Tools_Malha, help_lists_the_subcommands_and_each_has_its_own)
{
    const auto help = malha({"--help"});
    EXPECT_EQ(0, help.status);
    for (const char* name : {"triangular", "matrizes", "verificar", "demo"}) {
        EXPECT_NE(std::string::npos, help.out.find(std::string("  ") + name + " ")) << help.out;
        const auto own = malha({name, "--help"});
        EXPECT_EQ(0, own.status) << name;
        EXPECT_EQ(0u, own.out.find(std::string("uso: malha ") + name)) << own.out;
    }
    EXPECT_TRUE(ws.list().empty()) << "help touches no file";

    const auto none = malha({});
    EXPECT_EQ(2, none.status);
    EXPECT_NE(std::string::npos, none.err.find("uso: malha")) << none.err;
    const auto unknown = malha({"triangulos"});
    EXPECT_EQ(2, unknown.status);
    EXPECT_EQ("malha: erro: subcomando desconhecido \"triangulos\"; veja \"malha --help\"\n",
              unknown.err);
    const auto option = malha({"verificar", "--substituir"});
    EXPECT_EQ(2, option.status);
    EXPECT_NE(std::string::npos, option.err.find("opção desconhecida \"--substituir\""))
        << option.err;
}

TEST_F(Tools_Malha, two_vertex_files_become_a_workspace_that_corrigir_runs_on)
{
    writeNodes(ws, fieldNodes(20, 1));
    ws.writeImage("data/pattern.jpg", teste::pictureOf(440, 440, 5));
    ws.writeImage("foto.png", teste::pictureOf(110, 110, 6));

    const auto triangular = malha({"triangular"});
    ASSERT_EQ(0, triangular.status) << triangular.err;
    EXPECT_NE(std::string::npos, triangular.out.find("sobre 20 nós")) << triangular.out;
    const auto matrizes = malha({"matrizes"});
    ASSERT_EQ(0, matrizes.status) << matrizes.err;
    EXPECT_EQ(99u, ws.list("matrix").size());
    const auto verificar = malha({"verificar"});
    EXPECT_EQ(0, verificar.status) << verificar.out;
    EXPECT_NE(std::string::npos, verificar.out.find("\nnenhum problema encontrado\n"))
        << verificar.out;

    const auto run = teste::run(CORRIGIR_PATH, {}, "foto.png\n", ws.dir());
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(ws.exists("result.jpg"));
}

TEST_F(Tools_Malha, triangular_refuses_what_it_cannot_write_and_leaves_files_as_they_were)
{
    struct Case
    {
        std::string source, target, reason;
    };
    std::ostringstream many;
    for (const auto& p : fieldNodes(64, 2))
        many << p.x << ' ' << p.y << '\n';
    std::ostringstream crowded; // 63 nodes in general position give more than 99 triangles
    for (const auto& p : fieldNodes(63, 3))
        crowded << p.x << ' ' << p.y << '\n';
    const Case cases[] = {
        {"1 1\n2 2\n3 1\n", "1 1\n2 2\n", "tem 3 nós e \"data/vertices2.txt\" tem 2"},
        {many.str(), many.str(), "mais de 63 nós"},
        {crowded.str(), crowded.str(), "o arquivo de triângulos comporta 99"},
        {"1 1\n5 5\n9 1\n", "1 1\n5 5\n1 1\n", "os nós 1 e 3 têm a mesma posição"},
    };
    for (const auto& c : cases) {
        ws.write("data/verticesamp4.txt", c.source);
        ws.write("data/vertices2.txt", c.target);
        const auto r = malha({"triangular"});
        EXPECT_EQ(1, r.status) << c.reason;
        EXPECT_NE(std::string::npos, r.err.find("malha: erro: ")) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.reason)) << r.err;
        EXPECT_EQ((std::vector<std::string>{"vertices2.txt", "verticesamp4.txt"}), ws.list("data"))
            << "nothing written, no temporary file left";
    }

    writeNodes(ws, fieldNodes(8, 4));
    ws.write("data/quelvarina.txt", "1 2 3\n");
    const auto kept = malha({"triangular"});
    EXPECT_EQ(1, kept.status);
    EXPECT_NE(std::string::npos, kept.err.find("--substituir")) << kept.err;
    EXPECT_EQ("1 2 3\n", ws.read("data/quelvarina.txt"));
    const auto replaced = malha({"triangular", "--substituir"});
    EXPECT_EQ(0, replaced.status) << replaced.err;
    EXPECT_NE("1 2 3\n", ws.read("data/quelvarina.txt"));
    EXPECT_EQ(3u, ws.list("data").size());
}

TEST_F(Tools_Malha, matrizes_says_when_old_maps_stay_and_substituir_starts_files_empty)
{
    writeNodes(ws, fieldNodes(6, 7));
    ASSERT_EQ(0, malha({"triangular"}).status);
    const auto first = malha({"matrizes"});
    ASSERT_EQ(0, first.status) << first.err;
    const std::string map = ws.read("matrix/0.txt");
    EXPECT_EQ(std::string::npos, first.err.find("já tinham mapas")) << first.err;

    const auto second = malha({"matrizes"});
    EXPECT_EQ(0, second.status);
    EXPECT_NE(std::string::npos, second.err.find("já tinham mapas")) << second.err;
    EXPECT_NE(std::string::npos, second.err.find("continuará com os antigos")) << second.err;
    EXPECT_EQ(map + map, ws.read("matrix/0.txt"));
    EXPECT_EQ(1, malha({"verificar"}).status) << "four lines in every file";

    const auto fresh = malha({"matrizes", "--substituir"});
    EXPECT_EQ(0, fresh.status);
    EXPECT_EQ(std::string::npos, fresh.err.find("já tinham mapas")) << fresh.err;
    EXPECT_EQ(map, ws.read("matrix/0.txt"));
    EXPECT_EQ(0, malha({"verificar"}).status);

    std::filesystem::remove(ws / "matrix/5.txt");
    std::filesystem::create_directory(ws / "matrix/5.txt");
    const auto broken = malha({"matrizes", "--substituir"});
    EXPECT_EQ(1, broken.status);
    EXPECT_NE(std::string::npos, broken.err.find("\"matrix/5.txt\"")) << broken.err;
    EXPECT_NE(std::string::npos, broken.err.find("nenhum dos 99")) << broken.err;
    EXPECT_EQ(map, ws.read("matrix/0.txt")) << "the earlier mesh stays whole";

    std::filesystem::remove_all(ws / "matrix");
    EXPECT_EQ(0, malha({"matrizes"}).status) << "the folder is created when missing";
    EXPECT_EQ(map, ws.read("matrix/0.txt"));
}
