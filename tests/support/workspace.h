// Test support: a throw-away workspace folder, and programs run in it as a user would.
#pragma once

#include <opencv2/core.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace teste {

// A fresh empty folder under the system's temporary folder, removed with its content when the
// object goes. Paths given to the methods are relative to it and use "/".
class Workspace
{
public:
    Workspace();
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path operator/(const std::string& rel) const { return dir_ / rel; }

    // Writes `content` to `rel`, creating its folders.
    void write(const std::string& rel, const std::string& content) const;
    // Encodes `image` by the extension of `rel` and writes it there.
    void writeImage(const std::string& rel, const cv::Mat& image) const;
    std::string read(const std::string& rel) const;
    bool exists(const std::string& rel) const;
    // The names of the entries of the folder `rel`, sorted.
    std::vector<std::string> list(const std::string& rel = ".") const;

private:
    std::filesystem::path dir_;
};

// Makes the workspace folder the working directory for the object's lifetime.
class InDirectory
{
public:
    explicit InDirectory(const std::filesystem::path& dir);
    ~InDirectory();
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

private:
    std::filesystem::path previous_;
};

struct RunResult
{
    int status = -1; // the exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args` in `cwd`, `input` as its standard input; waits for it.
RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::string& input, const std::filesystem::path& cwd);

// A mesh workspace for the correction run: vertex files, triangle file, 99 matrix files.
struct Mesh
{
    std::vector<cv::Point> source; // nodes 1, 2, ... in the enlarged image
    std::vector<cv::Point> target; // the same nodes in the pattern
    std::vector<cv::Vec3i> triangles;
    std::vector<cv::Matx23f> maps; // one per triangle slot written; the rest get zeros
};
void writeMesh(const Workspace& ws, const Mesh& mesh);

// A small sound workspace: a 440 x 440 pattern, an image "x.png" of 6 x 5 pixels and a mesh
// of `records` triangle records over four nodes at the corners of the enlarged image (24 x 20),
// every map a shift by (200, 200), so that the enlarged image lands inside the field circle.
void writeSmallWorkspace(const Workspace& ws, int records);

// The progress lines of a warp over `rows` source rows, as a piped run shows them.
std::string progressOf(int rows);

// A smooth, non-uniform colour picture of `width` x `height`, the same for the same seed.
cv::Mat pictureOf(int width, int height, unsigned seed);

} // namespace teste
