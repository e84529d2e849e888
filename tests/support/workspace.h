// Test support: a throw-away workspace folder, programs run in it as a user would, and the
// tables of end-to-end cases that run them.
#pragma once

#include <opencv2/core.hpp>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace teste {

// A fresh empty folder under the system's temporary folder, removed with its content when the
// object goes. Paths given to the methods are relative to it and use "/".
class Workspace
{
public:
    Workspace();
    ~Workspace() { fs::remove_all(dir_, ignored_); }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const fs::path& dir() const { return dir_; }
    fs::path operator/(const std::string& rel) const { return dir_ / rel; }
    // Writes `content` to `rel`, creating its folders; an image is encoded by the extension.
    void write(const std::string& rel, const std::string& content) const;
    void write(const std::string& rel, const cv::Mat& image) const;
    std::string read(const std::string& rel) const;                    // "" when it is not a file
    std::vector<std::string> list(const std::string& rel = ".") const; // names, sorted

private:
    fs::path dir_;
    std::error_code ignored_;
};

// Makes a folder the working directory for the object's lifetime.
struct InDirectory
{
    explicit InDirectory(const fs::path& dir) { fs::current_path(dir); }
    ~InDirectory() { fs::current_path(before); }
    const fs::path before = fs::current_path();
};

// Every file and folder under `pasta`, by its path relative to it: a file with its bytes, a
// folder with "<pasta>". Two equal results mean nothing was written, removed or left behind.
std::map<std::string, std::string> conteudo(const fs::path& pasta);

struct RunResult
{
    int status = -1; // the exit status, or -1 when the program did not exit normally
    std::string out, err;
};

// The one way the tests start a program: `program` with `args` in `cwd`, `input` as its
// standard input, the environment of the test; waits for it.
RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::string& input, const fs::path& cwd);

// One row of a table of end-to-end cases: a program run in a workspace that the table makes
// sound and the row may spoil first. New failure classes are new rows; failure messages name a
// row by its command line and preparation.
struct Caso
{
    std::string preparar;   // shell commands run in the workspace first ("$0" is the program)
    std::string args;       // the command line after the program's name, as shell words
    std::string entrada;    // standard input
    int status;             // the exit status expected
    std::string erro;       // a part of standard error; "" means nothing is written there
    std::string saida;      // the start of standard output; "" means nothing is written there
    bool mantem;            // nothing in the workspace is written, changed or left behind
    std::string alem = "";  // a further part of standard output, anywhere in it
    std::string antes = ""; // shell commands before the program ("ulimit -f 1;"), or ""
    void (*depois)(const Workspace&, const RunResult&) = nullptr; // further checks
};

// Runs the row in `ws` and checks what it says, and that an error is reported once.
void conferir(const std::string& programa, const Caso& caso, const Workspace& ws);

// A small sound workspace: a 440 x 440 pattern, an image "x.png" of 6 x 5 pixels and a mesh of
// 99 triangle records over four nodes at the corners of the enlarged image (24 x 20), every map
// a shift by (200, 200), so that the enlarged image lands inside the field circle.
void writeSmallWorkspace(const Workspace& ws);

// A smooth, non-uniform colour picture of `width` x `height`, the same for the same seed.
cv::Mat pictureOf(int width, int height, unsigned seed);

// `n` copies of `text`; how often `part` occurs in `text`.
std::string repetir(int n, const std::string& text);
int vezes(const std::string& text, const std::string& part);

// A pattern of `lado` x `lado` with no dark pixel inside the field, or the same with a black
// 40 x 40 square in the field (`buracos`): holes, and a difference of known size.
cv::Mat padraoDeCampo(int lado = 436, bool buracos = false);

} // namespace teste
