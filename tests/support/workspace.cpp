#include "tests/support/workspace.h"

#include <opencv2/imgcodecs.hpp>

#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace teste {

Workspace::Workspace()
{
    std::string model = (fs::temp_directory_path() / "corretor-teste-XXXXXX").string();
    if (mkdtemp(model.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = model;
}

Workspace::~Workspace()
{
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
}

void Workspace::write(const std::string& rel, const std::string& content) const
{
    const fs::path path = dir_ / rel;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

void Workspace::writeImage(const std::string& rel, const cv::Mat& image) const
{
    const fs::path path = dir_ / rel;
    fs::create_directories(path.parent_path());
    if (!cv::imwrite(path.string(), image)) throw std::runtime_error("imwrite failed: " + rel);
}

std::string Workspace::read(const std::string& rel) const
{
    std::ifstream in(dir_ / rel, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool Workspace::exists(const std::string& rel) const
{
    return fs::exists(dir_ / rel);
}

std::vector<std::string> Workspace::list(const std::string& rel) const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_ / rel))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

InDirectory::InDirectory(const fs::path& dir) : previous_(fs::current_path())
{
    fs::current_path(dir);
}

InDirectory::~InDirectory()
{
    fs::current_path(previous_);
}

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::string& input, const fs::path& cwd)
{
    Workspace io;
    io.write("in", input);
    const std::string in = (io / "in").string(), out = (io / "out").string(),
                      err = (io / "err").string();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fdIn = ::open(in.c_str(), O_RDONLY);
        const int fdOut = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int fdErr = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fdIn < 0 || fdOut < 0 || fdErr < 0 || chdir(cwd.c_str()) != 0) _exit(127);
        dup2(fdIn, 0);
        dup2(fdOut, 1);
        dup2(fdErr, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    RunResult result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.out = io.read("out");
    result.err = io.read("err");
    return result;
}

void writeMesh(const Workspace& ws, const Mesh& mesh)
{
    std::ostringstream source, target, triangles;
    for (const auto& p : mesh.source)
        source << p.x << ' ' << p.y << '\n';
    for (const auto& p : mesh.target)
        target << p.x << ' ' << p.y << '\n';
    for (const auto& t : mesh.triangles)
        triangles << t[0] << ' ' << t[1] << ' ' << t[2] << '\n';
    ws.write("data/verticesamp4.txt", source.str());
    ws.write("data/vertices2.txt", target.str());
    ws.write("data/quelvarina.txt", triangles.str());
    for (int t = 0; t < 99; ++t) {
        const cv::Matx23f m = t < static_cast<int>(mesh.maps.size()) ? mesh.maps[t] : cv::Matx23f();
        char text[256];
        std::snprintf(text, sizeof text, "%f %f %f\n%f %f %f\n", m(0, 0), m(0, 1), m(0, 2), m(1, 0),
                      m(1, 1), m(1, 2));
        ws.write("matrix/" + std::to_string(t) + ".txt", text);
    }
}

void writeSmallWorkspace(const Workspace& ws, int records)
{
    Mesh mesh;
    mesh.source = {{0, 0}, {23, 0}, {0, 19}, {23, 19}};
    mesh.target = mesh.source;
    for (int t = 0; t < records; ++t)
        mesh.triangles.push_back(t % 2 ? cv::Vec3i(2, 4, 3) : cv::Vec3i(1, 2, 3));
    mesh.maps.assign(99, cv::Matx23f(1, 0, 200, 0, 1, 200));
    writeMesh(ws, mesh);
    ws.writeImage("data/pattern.jpg", pictureOf(440, 440, 2));
    ws.writeImage("x.png", pictureOf(6, 5, 3));
}

std::string progressOf(int rows)
{
    std::string text;
    int last = 0;
    for (int i = 0; i < rows; ++i) {
        const int value = 100 * i / rows + 1;
        if (value != last) text += "\r" + std::to_string(value) + " %";
        last = value;
    }
    return last == 100 ? text : text + "\r100 %";
}

cv::Mat pictureOf(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    cv::Mat picture(height, width, CV_8UC3);
    const int a = static_cast<int>(random() % 7) + 1, b = static_cast<int>(random() % 5) + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>((x * a + y) % 256),
                                                    static_cast<uchar>((y * b + 3 * x) % 256),
                                                    static_cast<uchar>((x * y + seed) % 256));
    return picture;
}

} // namespace teste
