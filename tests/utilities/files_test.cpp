// The utilities that keep hostile files and interruptions from harming the user's data: bounded
// reads, temporary files removed on a signal, files replaced together, the memory a control
// group leaves, and messages that cannot drive the terminal nor be lost to a decoder's silence.
#include "tests/support/workspace.h"
#include "utilities/file_read.h"
#include "utilities/memory.h"
#include "utilities/program_setup.h"
#include "utilities/report.h"
#include "utilities/whole_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace corretor;

// A file of exactly the limit is read, one byte more is refused (what is not a regular file is
// in the loader's tables).
TEST(Utilities_LerArquivo, reads_up_to_its_limit)
{
    teste::Workspace ws;
    ws.write("a.txt", "12345");
    std::string conteudo, porque;
    EXPECT_TRUE(lerArquivo((ws / "a.txt").string(), conteudo, 5, porque) && conteudo == "12345");
    EXPECT_FALSE(lerArquivo((ws / "a.txt").string(), conteudo, 4, porque) || !conteudo.empty());
    EXPECT_EQ("tem 5 bytes, mais que o limite de 4 bytes", porque);
}

// A tree with /proc and cgroup files as the system shows them, under a test folder.
TEST(Utilities_Memoria, the_tightest_of_meminfo_and_every_control_group_above)
{
    teste::Workspace ws;
    const std::string mi = std::to_string(1 << 20);
    ws.write("proc/meminfo", "MemTotal: 99999999 kB\nMemAvailable: 8000000 kB\n");
    const struct
    {
        const char* cgroup;
        const char* mountinfo;
        std::vector<std::pair<std::string, std::string>> arquivos;
        uint64_t esperado;
    } casos[] = {
        {"0::/\n", "", {}, 8000000ull * 1024}, // no group: the system's available memory
        {"0::/a/b\n",
         "40 31 0:38 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n",
         {{"sys/fs/cgroup/a/b/memory.max", "max\n"},
          {"sys/fs/cgroup/a/memory.max", "268435456\n"},
          {"sys/fs/cgroup/a/memory.current", "100000000\n"},
          {"sys/fs/cgroup/a/b/memory.current", "0\n"}},
         268435456 - 100000000}, // v2: the limit of the parent
        {"4:memory:/x\n0::/\n",
         "35 31 0:32 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n",
         {{"sys/fs/cgroup/memory/x/memory.limit_in_bytes", "300000000\n"},
          {"sys/fs/cgroup/memory/x/memory.usage_in_bytes", "250000000\n"},
          {"sys/fs/cgroup/memory/x/memory.stat", "cache 1\ntotal_inactive_file 50000000\n"},
          {"sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"}},
         100000000},            // v1: page cache that can be dropped is counted free
        {"0::/docker/c1/sub\n", // a container's mount shows its own group as the root
         "40 31 0:38 /docker/c1 /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n",
         {{"sys/fs/cgroup/sub/memory.max", "200000000\n"},
          {"sys/fs/cgroup/sub/memory.current", "50000000\n"}},
         150000000},
    };
    for (const auto& c : casos) {
        ws.write("proc/self/cgroup", c.cgroup);
        ws.write("proc/self/mountinfo", c.mountinfo);
        for (const auto& [nome, texto] : c.arquivos)
            ws.write(nome, texto);
        EXPECT_EQ(c.esperado, memoriaDisponivelEm(ws.dir().string())) << c.cgroup;
    }
}

namespace {

// A child that starts saving a large file and is ended by `sinal` half way: it dies of that
// signal and leaves no temporary file. With `juntos` the save is of several files together,
// and the earlier files stay whole.
void interromper(int sinal, bool juntos)
{
    SCOPED_TRACE(std::string(strsignal(sinal)) + (juntos ? ", several files" : ""));
    teste::Workspace ws;
    ws.write("a", "antigo a");
    ws.write("b", "antigo b");
    const pid_t filho = fork();
    if (filho == 0) {
        std::signal(sinal, SIG_DFL); // a shell may start a background job ignoring SIGINT
        prepararPrograma();
        alarm(30); // a child that never sees its save dies of SIGALRM, and the test says so
        const int aviso = inotify_init();
        inotify_add_watch(aviso, ws.dir().c_str(), IN_CREATE);
        std::thread escritor([&] {
            // The writer runs only when nothing else wants the processor, so the signal comes
            // while its file is being written however loaded the machine is.
            const sched_param nenhuma{};
            pthread_setschedparam(pthread_self(), SCHED_IDLE, &nenhuma);
            const std::string grande(64 << 20, 'x');
            if (juntos)
                gravarArquivosJuntos(
                    {{(ws / "a").string(), grande}, {(ws / "b").string(), grande}});
            else
                substituirArquivo((ws / "a").string(), grande.data(), grande.size());
        });
        alignas(inotify_event) char evento[sizeof(inotify_event) + NAME_MAX + 1];
        while (read(aviso, evento, sizeof evento) > 0)
            if (std::string(reinterpret_cast<inotify_event*>(evento)->name)
                    .rfind(".salvando-", 0) == 0)
                std::raise(sinal);
        _exit(3);
    }
    int status = 0;
    waitpid(filho, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(sinal, WTERMSIG(status));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), ws.list());
    EXPECT_TRUE(ws.read("a") == "antigo a" && ws.read("b") == "antigo b") << "earlier files";
}

} // namespace

TEST(Utilities_Salvar, a_signal_half_way_leaves_no_temporary_file)
{
    for (int sinal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        interromper(sinal, false);
    interromper(SIGTERM, true);
}

// Every control character, and nothing else, comes out as an escape: each byte below 0x20 and
// 0x7F as "\x..", each of U+0080 to U+009F written in UTF-8 as "\u00..", their neighbours (the
// printable ASCII bytes, U+00A0 to U+00BF) as they are, in a text that goes on after them.
TEST(Utilities_Relato, control_characters_are_shown_escaped)
{
    char codigo[8];
    for (int c = 0; c < 0xC0; ++c) {
        const bool ascii = c < 0x80;
        const std::string texto = (ascii ? std::string(1, char(c)) : std::string{'\xC2', char(c)});
        std::string esperado = texto;
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) {
            std::snprintf(codigo, sizeof codigo, ascii ? "\\x%02x" : "\\u%04x", c);
            esperado = codigo;
        }
        EXPECT_EQ("a" + esperado + "b", escaparControles("a" + texto + "b")) << c;
    }
    EXPECT_EQ("a\\x1b]0;x\\x07b\\x0a\\u009bc é", escaparControles("a\x1b]0;x\x07"
                                                                  "b\n\xC2\x9B"
                                                                  "c é"));
}

// Decoders silenced on two threads at once, each writing to descriptor 2 as libpng does, while
// the main thread warns: the warnings all reach standard error and nothing of the decoders does
// (a silence that ended while another thread's decoder still ran would let its lines through;
// one that took the system's messages with it would lose warnings).
TEST(Utilities_Relato, decoders_silenced_at_once_and_warnings_still_shown)
{
    std::atomic<int> falta{2000};
    const auto decodificar = [&falta] {
        for (; falta > 0; --falta) {
            const SilencioNoErro silencio;
            EXPECT_EQ(6, write(STDERR_FILENO, "lixo!\n", 6));
        }
    };
    testing::internal::CaptureStderr();
    std::thread a(decodificar), b(decodificar);
    for (int k = 0; k < 200; ++k)
        avisar("x");
    a.join(), b.join();
    EXPECT_EQ(teste::repetir(200, "aviso: x\n"), testing::internal::GetCapturedStderr());
}
