// Mesh files that are missing, empty or a folder, met by the correction run.
#include "tests/support/workspace.h"

#include <gtest/gtest.h>

namespace {

const char* const kMeshFiles[] = {"data/verticesamp4.txt", "data/vertices2.txt",
                                  "data/quelvarina.txt", "matrix/0.txt", "matrix/98.txt"};

class Correction_HostileMeshFiles : public ::testing::Test
{
protected:
    Correction_HostileMeshFiles() { teste::writeSmallWorkspace(ws, 99); }

    teste::RunResult correct()
    {
        ws.write("result.jpg", "earlier result");
        return teste::run(CORRIGIR_PATH, {}, "x.png\n", ws.dir());
    }

    teste::Workspace ws;
};

} // namespace

TEST_F(Correction_HostileMeshFiles, missing_or_folder_stops_before_the_prompt)
{
    for (const char* name : kMeshFiles) {
        const std::string content = ws.read(name);
        for (bool folder : {false, true}) {
            std::filesystem::remove(ws / name);
            if (folder) std::filesystem::create_directory(ws / name);
            const auto run = correct();
            EXPECT_EQ(1, run.status) << name;
            EXPECT_EQ("", run.out) << name << ": no prompt";
            EXPECT_NE(std::string::npos, run.err.find(std::string("\"") + name + "\"")) << run.err;
            EXPECT_EQ("earlier result", ws.read("result.jpg"));
            std::filesystem::remove(ws / name);
        }
        ws.write(name, content);
    }
}

TEST_F(Correction_HostileMeshFiles, empty_files_load_as_no_records)
{
    for (const char* name : kMeshFiles) {
        const std::string content = ws.read(name);
        ws.write(name, "");
        const auto run = correct();
        EXPECT_EQ(0, run.status) << name << ": " << run.err;
        const bool matrix = std::string(name).rfind("matrix/", 0) == 0;
        // An empty matrix file is worth a warning (its map is all zeros); empty vertex and
        // triangle files are meshes with fewer nodes or triangles.
        EXPECT_EQ(matrix, run.err.find(std::string("aviso: \"") + name) != std::string::npos)
            << name << ": " << run.err;
        EXPECT_NE("earlier result", ws.read("result.jpg")) << name;
        ws.write(name, content);
    }
}
