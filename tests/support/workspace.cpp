#include "tests/support/workspace.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace teste {

Workspace::Workspace()
{
    std::string model = (fs::temp_directory_path() / "corretor-teste-XXXXXX").string();
    if (mkdtemp(model.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = model;
}

void Workspace::write(const std::string& rel, const std::string& content) const
{
    fs::create_directories((dir_ / rel).parent_path());
    std::ofstream(dir_ / rel, std::ios::binary) << content;
}

void Workspace::write(const std::string& rel, const cv::Mat& image) const
{
    fs::create_directories((dir_ / rel).parent_path());
    if (!cv::imwrite((dir_ / rel).string(), image)) throw std::runtime_error("imwrite: " + rel);
}

std::string Workspace::read(const std::string& rel) const
{
    std::ostringstream content;
    if (fs::is_regular_file(dir_ / rel)) content << std::ifstream(dir_ / rel).rdbuf();
    return content.str();
}

std::vector<std::string> Workspace::list(const std::string& rel) const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_ / rel))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> conteudo(const fs::path& pasta)
{
    std::map<std::string, std::string> tudo;
    for (const auto& e : fs::recursive_directory_iterator(pasta)) {
        std::ostringstream bytes;
        if (e.is_directory())
            bytes << "<pasta>";
        else if (!e.is_regular_file())
            bytes << "<especial>"; // a FIFO would hold the reader
        else
            bytes << std::ifstream(e.path(), std::ios::binary).rdbuf();
        tudo[fs::relative(e.path(), pasta).string()] = bytes.str();
    }
    return tudo;
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
        dup2(fdIn, 0), dup2(fdOut, 1), dup2(fdErr, 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
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

void conferir(const std::string& programa, const Caso& c, const Workspace& ws)
{
    SCOPED_TRACE(c.antes + " " + c.args + " after " + c.preparar + " with " + c.entrada);
    ASSERT_EQ(0, run("/bin/sh", {"-c", "set -e; " + c.preparar, programa}, "", ws.dir()).status);
    const auto antes = conteudo(ws.dir());
    const RunResult r =
        run("/bin/sh", {"-c", c.antes + " exec \"$0\" " + c.args, programa}, c.entrada, ws.dir());
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_EQ(c.erro.empty(), r.err.empty()) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(c.erro)) << r.err;
    EXPECT_EQ(0u, r.out.find(c.saida)) << r.out;
    EXPECT_EQ(c.saida.empty(), r.out.empty()) << r.out;
    EXPECT_NE(std::string::npos, r.out.find(c.alem)) << r.out;
    EXPECT_TRUE(!c.mantem || antes == conteudo(ws.dir())) << "the workspace changed";
    EXPECT_LE(vezes(r.err, ": erro: "), c.status == 0 ? 0 : 1) << "one error, said once";
    // Only the system's own words reach the user: no library's text, no raw control byte.
    for (const char* alheio : {"OpenCV", "libpng", "JPEG file", "Corrupt JPEG", "\x1b"})
        EXPECT_EQ(std::string::npos, r.err.find(alheio)) << r.err;
    if (c.depois != nullptr) c.depois(ws, r);
}

void writeSmallWorkspace(const Workspace& ws)
{
    ws.write("data/verticesamp4.txt", "0 0\n23 0\n0 19\n23 19\n");
    ws.write("data/vertices2.txt", "0 0\n23 0\n0 19\n23 19\n");
    ws.write("data/quelvarina.txt", repetir(49, "1 2 3\n2 4 3\n") + "1 2 3\n");
    for (int t = 0; t < 99; ++t)
        ws.write("matrix/" + std::to_string(t) + ".txt", "1 0 200\n0 1 200\n");
    ws.write("data/pattern.jpg", pictureOf(440, 440, 2));
    ws.write("x.png", pictureOf(6, 5, 3));
}

cv::Mat pictureOf(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    cv::Mat_<cv::Vec3b> picture(height, width);
    const int a = static_cast<int>(random() % 7) + 1, b = static_cast<int>(random() % 5) + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture(y, x) =
                cv::Vec3b((x * a + y) % 256, (y * b + 3 * x) % 256, (x * y + seed) % 256);
    return std::move(picture);
}

std::string repetir(int n, const std::string& text)
{
    std::string all;
    for (int i = 0; i < n; ++i)
        all += text;
    return all;
}

int vezes(const std::string& text, const std::string& part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

cv::Mat padraoDeCampo(int lado, bool buracos)
{
    cv::Mat p(lado, lado, CV_8UC3, cv::Scalar(60, 80, 100));
    cv::circle(p, {218, 218}, 100, cv::Scalar(200, 220, 240), 5);
    if (buracos) p(cv::Rect(200, 200, 40, 40)).setTo(cv::Scalar(0, 0, 0));
    return p;
}

} // namespace teste
