// corrigir-lote with a list of millions of names, one part of it, as a cluster task runs it:
// whole-process wall time, processor time and peak memory of each command, run in turn in a
// demo workspace. The list names images in 1000 folders; only the images of the parts taken
// exist (links to the demo's picture). Part 1/1000000 is corrected; the results of part 1/1000
// are made up to date beforehand (links to one correction of the picture), so that the run
// that resumes it spends its time on the list and on checking that each result is whole, and
// the same part given alone as a list of its own names shows what the rest of the list costs.
//
//   bancada_lista [LINHAS]   (default 3000000)
//
// Prints, for each command: seconds of wall time, seconds of processor time (user + system),
// the peak resident memory in MiB (the kernel's ru_maxrss), the exit status and the last line.
#include "correction/batch_list.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Medida
{
    double segundos = 0, processador = 0, mib = 0;
    int status = -1;
    std::string ultima; // the last line of standard output
};

// Runs `args` (args[0] the program) in `pasta`, its standard output to `saida`.
Medida medir(const std::vector<std::string>& args, const fs::path& pasta, const fs::path& saida)
{
    std::fflush(stdout); // the child must not write what the parent holds
    const auto inicio = std::chrono::steady_clock::now();
    const pid_t filho = fork();
    if (filho == 0) {
        if (chdir(pasta.c_str()) != 0 || !std::freopen(saida.c_str(), "w", stdout) ||
            !std::freopen("/dev/null", "w", stderr))
            _exit(127);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Medida m;
    int status = 0;
    rusage uso{};
    if (filho > 0 && wait4(filho, &status, 0, &uso) == filho && WIFEXITED(status))
        m.status = WEXITSTATUS(status);
    m.segundos = std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
    m.processador = uso.ru_utime.tv_sec + uso.ru_stime.tv_sec +
                    (uso.ru_utime.tv_usec + uso.ru_stime.tv_usec) / 1e6;
    m.mib = uso.ru_maxrss / 1024.0;
    std::ifstream texto(saida);
    for (std::string linha; std::getline(texto, linha);)
        if (!linha.empty()) m.ultima = linha.substr(linha.rfind('\r') + 1);
    return m;
}

std::string nomeDaFoto(long n)
{
    char nome[64];
    std::snprintf(nome, sizeof nome, "fotos/d%03ld/foto-%07ld.jpg", n % 1000, n);
    return nome;
}

} // namespace

int main(int argc, char** argv)
{
    const long linhas = argc > 1 ? std::atol(argv[1]) : 3000000;
    if (linhas < 1) {
        std::fprintf(stderr, "bancada_lista: número de linhas inválido \"%s\"\n", argv[1]);
        return 2;
    }
    std::string modelo = (fs::temp_directory_path() / "bancada-lista-XXXXXX").string();
    if (mkdtemp(modelo.data()) == nullptr) {
        std::fprintf(stderr, "bancada_lista: não foi possível criar uma pasta temporária\n");
        return 1;
    }
    const fs::path raiz = modelo, area = raiz / "area";
    if (medir({MALHA_PATH, "demo", area.string()}, raiz, raiz / "demo.txt").status != 0) {
        std::fprintf(stderr, "bancada_lista: malha demo falhou\n");
        return 1;
    }
    if (medir({CORRIGIR_LOTE_PATH, "-o", "r0", "amostra.jpg"}, area, raiz / "r0.txt").status != 0) {
        std::fprintf(stderr, "bancada_lista: a correção da amostra falhou\n");
        return 1;
    }
    // The list, the images of parts 1/1000 and 1/1000000, the results of part 1/1000, and in a
    // second list the names of part 1/1000 alone.
    fs::create_directory(area / "r2");
    std::ofstream lista(area / "lista.txt"), so(area / "parte.txt");
    long daParte = 0;
    for (long n = 1; n <= linhas; ++n) {
        const std::string nome = nomeDaFoto(n);
        lista << nome << '\n';
        const bool milesima = corretor::parteDe(nome, 1000) == 1;
        if (milesima) {
            so << nome << '\n', ++daParte;
            fs::create_hard_link(area / "r0/amostra.jpg", area / "r2" / fs::path(nome).filename());
        }
        if (milesima || corretor::parteDe(nome, 1000000) == 1) {
            fs::create_directories((area / nome).parent_path());
            fs::create_hard_link(area / "amostra.jpg", area / nome);
        }
    }
    lista.close(), so.close();
    const std::string lote = CORRIGIR_LOTE_PATH;
    const std::vector<std::vector<std::string>> comandos = {
        {lote, "--lista", "lista.txt", "--parte", "1/1000000", "-o", "r1"},
        {lote, "--lista", "parte.txt", "-o", "r2", "--pular-existentes"},
        {lote, "--lista", "lista.txt", "--parte", "1/1000", "-o", "r2", "--pular-existentes"},
    };
    std::printf("lista de %ld linhas (%.0f MiB), %ld na parte 1/1000; na pasta %s\n", linhas,
                fs::file_size(area / "lista.txt") / 1048576.0, daParte, area.c_str());
    std::printf("%8s %12s %8s %6s  %s\n", "tempo(s)", "processador", "MiB", "saída", "comando");
    for (const auto& comando : comandos) {
        const Medida m = medir(comando, area, raiz / "saida.txt");
        std::string texto = "corrigir-lote";
        for (std::size_t i = 1; i < comando.size(); ++i)
            texto += " " + comando[i];
        std::printf("%8.2f %12.2f %8.0f %6d  %s\n%37s%s\n", m.segundos, m.processador, m.mib,
                    m.status, texto.c_str(), "", m.ultima.c_str());
    }
    std::error_code erro;
    fs::remove_all(raiz, erro);
    return 0;
}
