// malha editar on a virtual screen (Xvfb): real windows, real clicks and keys sent with xdotool,
// and the files, console lines and saved pictures they leave.
#include "tests/support/workspace.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Generous: the sanitizer build starts the window system slowly.
constexpr auto kPrazo = std::chrono::seconds(30);

// The full path of `name` on PATH, or "" when it is not there.
std::string onPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':'))
        if (!folder.empty() && access((folder + "/" + name).c_str(), X_OK) == 0)
            return folder + "/" + name;
    return "";
}

// A program started in the background; killed and reaped when the object goes, if it has not
// ended before.
class Background
{
public:
    // Starts `argv` in `cwd` with `env` added to the environment, standard input from
    // /dev/null, standard output and error to the files `out` and `err` (or /dev/null), and
    // the descriptor `keep` left open for it.
    Background(const std::vector<std::string>& argv, const fs::path& cwd,
               const std::vector<std::pair<std::string, std::string>>& env, const fs::path& out,
               const fs::path& err, int keep = -1)
        : pid_(fork())
    {
        if (pid_ != 0) return;
        const int in = ::open("/dev/null", O_RDONLY);
        const int o =
            ::open(out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e =
            ::open(err.empty() ? "/dev/null" : err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || o < 0 || e < 0 || chdir(cwd.c_str()) != 0) _exit(127);
        dup2(in, 0);
        dup2(o, 1);
        dup2(e, 2);
        for (int fd = 3; fd < 256; ++fd)
            if (fd != keep) close(fd);
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    ~Background()
    {
        if (pid_ <= 0 || ended_) return;
        kill(pid_, SIGTERM);
        int status = 0;
        if (!waitFor(std::chrono::seconds(5), status)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    bool started() const { return pid_ > 0; }

    // Waits up to `limit` for the program to end; true with its wait status when it did.
    bool waitFor(Clock::duration limit, int& status)
    {
        const auto end = Clock::now() + limit;
        do {
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_ || done < 0) {
                ended_ = true;
                return done == pid_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (Clock::now() < end);
        return false;
    }

private:
    pid_t pid_ = -1;
    bool ended_ = false;
};

// The X server of the test, on the first free display; its number, or "" when it did not
// come up in time.
std::string startXvfb(std::unique_ptr<Background>& server, const fs::path& log)
{
    const std::string xvfb = onPath("Xvfb");
    if (xvfb.empty()) return "";
    int fds[2];
    if (pipe(fds) != 0) return "";
    server = std::make_unique<Background>(
        std::vector<std::string>{xvfb, "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                 "1280x1024x24", "-nolisten", "tcp", "-noreset"},
        fs::temp_directory_path(), std::vector<std::pair<std::string, std::string>>{}, log, log,
        fds[1]);
    close(fds[1]);
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    const auto end = Clock::now() + kPrazo;
    while (Clock::now() < end) {
        if (poll(&wait, 1, 100) <= 0) continue;
        char c;
        const ssize_t n = read(fds[0], &c, 1);
        if (n <= 0 || c == '\n') break;
        number.push_back(c);
    }
    close(fds[0]);
    return number;
}

class Tools_MalhaEditar : public ::testing::Test
{
protected:
    void SetUp() override
    {
        xdotool_ = onPath("xdotool");
        ASSERT_FALSE(xdotool_.empty()) << "xdotool is missing: scripts/setup installs it";
        const std::string display = startXvfb(xvfb_, io / "xvfb.log");
        ASSERT_FALSE(display.empty()) << "Xvfb did not start: " << io.read("xvfb.log");
        display_ = ":" + display;
        setenv("DISPLAY", display_.c_str(), 1); // for xdotool
        fs::create_directory(io / "runtime");
        fs::permissions(io / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    }
    void TearDown() override { unsetenv("DISPLAY"); }

    void startEditor(const std::string& image)
    {
        editor_ = std::make_unique<Background>(
            std::vector<std::string>{MALHA_PATH, "editar", image}, ws.dir(),
            std::vector<std::pair<std::string, std::string>>{
                {"DISPLAY", display_},
                {"XDG_RUNTIME_DIR", (io / "runtime").string()},
                // Leaks of the window system's own libraries are not ours to mend.
                {"LSAN_OPTIONS", "suppressions=" DISPLAY_LEAKS_SUPP ":print_suppressions=0"}},
            io / "out", io / "err");
        ASSERT_TRUE(editor_->started());
    }

    teste::RunResult xdotool(const std::vector<std::string>& args)
    {
        return teste::run(xdotool_, args, "", ws.dir());
    }

    // The id of the visible window titled `name`, waiting for it to be mapped.
    std::string window(const std::string& name)
    {
        const auto end = Clock::now() + kPrazo;
        while (Clock::now() < end) {
            const auto found = xdotool({"search", "--onlyvisible", "--name", "^" + name + "(:|$)"});
            if (found.status == 0 && !found.out.empty())
                return found.out.substr(0, found.out.find('\n'));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "";
    }

    // Waits until the editor's console holds `text` for the `times`-th time.
    bool printed(const std::string& text, int times = 1)
    {
        const auto end = Clock::now() + kPrazo;
        while (Clock::now() < end) {
            const std::string out = io.read("out");
            int seen = 0;
            for (auto at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
                ++seen;
            if (seen >= times) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        return false;
    }

    // A left click at the pixel (x, y) of the window `id`, confirmed by the line it prints
    // unless `expect` is empty.
    void click(const std::string& id, int x, int y, const std::string& expect)
    {
        const auto r = xdotool(
            {"mousemove", "--window", id, std::to_string(x), std::to_string(y), "click", "1"});
        ASSERT_EQ(0, r.status) << r.err;
        if (expect.empty()) return;
        ASSERT_TRUE(printed(expect)) << "after a click at " << x << "," << y << ":\n"
                                     << io.read("out") << io.read("err");
    }

    void key(const std::string& id, const std::string& name, const std::string& expect,
             int times = 1)
    {
        const auto r = xdotool({"key", "--window", id, name});
        ASSERT_EQ(0, r.status) << r.err;
        ASSERT_TRUE(printed(expect, times)) << "after the key " << name << ":\n"
                                            << io.read("out") << io.read("err");
    }

    teste::Workspace ws; // the editor's working directory
    teste::Workspace io; // its console, the server's log, the runtime folder
    std::string xdotool_, display_;
    std::unique_ptr<Background> xvfb_, editor_;
};

cv::Vec3b at(const cv::Mat& image, int x, int y)
{
    return image.at<cv::Vec3b>(y, x);
}

const cv::Vec3b kRed(0, 0, 255);

// A full red pixel within two pixels of (x, y).
bool redNear(const cv::Mat& image, int x, int y)
{
    for (int j = y - 2; j <= y + 2; ++j)
        for (int i = x - 2; i <= x + 2; ++i)
            if (at(image, i, j) == kRed) return true;
    return false;
}

} // namespace

TEST_F(Tools_MalhaEditar, clicks_and_keys_lay_out_a_mesh_and_save_the_drawings)
{
    // A grey 60 x 50 picture, shown enlarged to 240 x 200; a grey 220 x 200 pattern; a
    // one-triangle mesh in the workspace for the keys that draw it.
    ws.writeImage("x.png", cv::Mat(50, 60, CV_8UC3, cv::Scalar(100, 100, 100)));
    ws.writeImage("data/pattern.jpg", cv::Mat(200, 220, CV_8UC3, cv::Scalar(128, 128, 128)));
    ws.write("data/verticesamp4.txt", "160 20\n220 20\n160 100\n");
    ws.write("data/vertices2.txt", "150 150\n210 150\n150 190\n");
    ws.write("data/quelvarina.txt", "1 2 3\n");
    ws.write("vertices.txt", "1 1\n"); // from an earlier session: kept
    ws.write("vertices2.txt", "7 8");  // edited by hand, its last line not ended

    ASSERT_NO_FATAL_FAILURE(startEditor("x.png"));
    ASSERT_TRUE(printed("modo: nós")) << io.read("out") << io.read("err");
    const std::string image = window("imagem"), pattern = window("padrao");
    ASSERT_FALSE(image.empty()) << io.read("err");
    ASSERT_FALSE(pattern.empty()) << io.read("err");
    EXPECT_NE(std::string::npos, io.read("out").find("ampliada: 240 x 200 pixels"));

    // Nodes: on the image to vertices.txt, on the pattern to vertices2.txt.
    click(image, 30, 40, "pixel x: 30  y:40\n");
    click(image, 100, 150, "pixel x: 100  y:150\n");
    click(pattern, 50, 60, "pixel x: 50  y:60\n");
    // Triangle corners on the pattern; the node above took pick number 0.
    key(pattern, "t", "modo: triângulos");
    click(pattern, 20, 20, "pixel x: 20  y:20\n");
    click(pattern, 120, 20, "pixel x: 120  y:20\n");
    click(image, 200, 180, ""); // the image window takes no clicks now (checked at the end)
    click(pattern, 20, 120, "pixel x: 20  y:120\n");
    // A plain point on the image: marked and counted, no file.
    key(image, "p", "modo: pontos");
    click(image, 70, 70, "pixel x: 70  y:70\n");
    // The probe finds the triangle of picks 1 to 3, number 3 / 3.
    key(pattern, "s", "modo: sonda");
    click(pattern, 40, 40, "entrou no triangulo 1temos um triangulo\n");
    // The next point of malha2.txt: the plain point moved the cursor to record 1.
    key(pattern, "a", "2 120 20\n");
    key(image, "o", "malha de origem desenhada");
    key(pattern, "d", "malha de destino desenhada");
    key(pattern, "h", "teclas:", 2);
    key(pattern, "g", "gravadas");

    const cv::Mat drawn = cv::imread((ws / "editor-imagem.png").string());
    ASSERT_EQ(cv::Size(240, 200), drawn.size());
    for (const cv::Point p : {cv::Point(30, 40), cv::Point(100, 150), cv::Point(70, 70)})
        EXPECT_EQ(kRed, at(drawn, p.x, p.y)) << p;
    EXPECT_EQ(255, at(drawn, 72, 70)[2]) << "the plain point has radius 2";
    EXPECT_EQ(cv::Vec3b(100, 100, 100), at(drawn, 200, 180)) << "the ignored click";
    EXPECT_EQ(cv::Vec3b(100, 100, 100), at(drawn, 5, 190));
    const cv::Vec3b blue = at(drawn, 190, 20);
    EXPECT_TRUE(blue[0] > 200 && blue[1] < 60 && blue[2] < 60) << blue << ": source mesh edge";

    const cv::Mat pat = cv::imread((ws / "editor-padrao.png").string());
    ASSERT_EQ(cv::Size(220, 200), pat.size());
    for (const cv::Point p : {cv::Point(50, 60), cv::Point(40, 40)})
        EXPECT_EQ(kRed, at(pat, p.x, p.y)) << p;
    // The corners' discs, under the outline drawn later, still show beside it.
    for (const cv::Point p : {cv::Point(20, 20), cv::Point(120, 20), cv::Point(20, 120)})
        EXPECT_TRUE(redNear(pat, p.x, p.y)) << p;
    const cv::Vec3b grey = at(pat, 200, 10);
    EXPECT_NE(grey, at(pat, 70, 70)) << "the outline of the probed triangle";
    EXPECT_EQ(grey, at(pat, 80, 30)) << "inside the outline";
    const cv::Vec3b cyan = at(pat, 180, 150);
    EXPECT_TRUE(cyan[0] > 200 && cyan[1] > 200 && cyan[2] < 60) << cyan << ": target mesh edge";

    // Clearing the drawings gives the pictures as loaded back; the files stay.
    key(image, "l", "desenhos limpos");
    key(image, "g", "gravadas", 2);
    cv::Mat clean = cv::imread((ws / "editor-imagem.png").string());
    EXPECT_EQ(0,
              cv::norm(clean, cv::Mat(200, 240, CV_8UC3, cv::Scalar(100, 100, 100)), cv::NORM_INF));
    clean = cv::imread((ws / "editor-padrao.png").string());
    EXPECT_EQ(0, cv::norm(clean, cv::Mat(200, 220, CV_8UC3, cv::Scalar(grey)), cv::NORM_INF));

    // Node k in both windows, named with its window and file; undo takes the mode's last pick
    // off its file and picture; a double click is one pick; the titles count the nodes.
    key(image, "n", "modo: nós", 2);
    click(pattern, 90, 90, "janela \"padrao\": nó 3 anotado em \"vertices2.txt\"\n");
    click(image, 150, 60, "janela \"imagem\": nó 4 anotado em \"vertices.txt\"\n");
    click(image, 180, 60, "janela \"imagem\": nó 5 anotado");
    key(image, "u", "desfeito: 5 na janela \"imagem\", linha tirada de \"vertices.txt\"");
    ASSERT_EQ(0, xdotool({"mousemove", "--window", image, "60", "160", "click", "--repeat", "2",
                          "--delay", "80", "1"})
                     .status);
    ASSERT_TRUE(printed("janela \"imagem\": nó 5 anotado", 2)) << io.read("out");
    EXPECT_EQ("imagem: 5 nós | padrao: 3 nós\n", xdotool({"getwindowname", image}).out);
    // Everything picked drawn again, numbered, after the drawings were cleared.
    key(image, "l", "desenhos limpos", 2);
    key(image, "r", "marcações redesenhadas: 12");
    key(image, "g", "gravadas", 3);
    const cv::Mat again = cv::imread((ws / "editor-imagem.png").string());
    for (const cv::Point p : {cv::Point(30, 40), cv::Point(150, 60), cv::Point(60, 160)})
        EXPECT_EQ(kRed, at(again, p.x, p.y)) << p;
    EXPECT_EQ(cv::Vec3b(100, 100, 100), at(again, 180, 60)) << "the pick undone";
    bool yellow = false; // node 4's number, up and to the right of it
    for (int y = 48; y < 58; ++y)
        for (int x = 154; x < 164; ++x)
            yellow = yellow || (at(again, x, y)[2] > 200 && at(again, x, y)[1] > 150 &&
                                at(again, x, y)[0] < 100);
    EXPECT_TRUE(yellow);
    // Twice the view about the pointer: a click lands on the pixel under it.
    ASSERT_EQ(0, xdotool({"mousemove", "--window", image, "120", "100"}).status);
    key(image, "z", "vista 2x na janela \"imagem\"");
    click(image, 100, 80, "pixel x: 110  y:90\n");
    key(image, "x", "vista inteira");

    xdotool({"key", "--window", pattern, "q"}); // the window may be gone before xdotool returns
    int status = 0;
    ASSERT_TRUE(editor_->waitFor(kPrazo, status)) << "the editor did not end on q";
    ASSERT_TRUE(WIFEXITED(status)) << io.read("err");
    EXPECT_EQ(0, WEXITSTATUS(status)) << io.read("err");
    EXPECT_NE(std::string::npos, io.read("out").find("fim da edição"));

    EXPECT_EQ("1 1\n30 40\n100 150\n150 60\n60 160\n110 90\n", ws.read("vertices.txt"));
    EXPECT_EQ("7 8\n50 60\n90 90\n", ws.read("vertices2.txt"));
    EXPECT_EQ("1 20 20\n2 120 20\n3 20 120\n", ws.read("malha2.txt"));
}
