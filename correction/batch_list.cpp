// A batch's names pass once, as a stream, through a judge that keeps two hashes of each result
// name (never its text) and a cache of the folders already looked at; a name whose part is the
// one taken is kept whole. Three million names thus cost tens of megabytes and one system call
// per distinct folder, not one per name.
#include "correction/batch_list.h"

#include "correction/batch.h"
#include "correction/driver.h"
#include "correction/image_file.h"
#include "mesh/paths.h"
#include "utilities/file_read.h"
#include "utilities/report.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace corretor {

namespace {

uint64_t fnv1a(std::string_view texto)
{
    uint64_t hash = 14695981039346656037ull; // FNV-1a, 64 bits
    for (const char c : texto) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

// A second, independent hash: with FNV-1a, 96 bits, so that two different names of a batch of
// millions meet by chance about once in 10^15 batches.
uint32_t outroHash(std::string_view texto)
{
    return static_cast<uint32_t>(std::hash<std::string_view>{}(texto) >> 16);
}

// A set of texts kept as their two hashes, each with a 32-bit value: open addressing with
// linear probing in a table of a power of two of 16-byte slots, at most three-quarters full.
class Hashes
{
public:
    static constexpr uint32_t kVazio = UINT32_MAX; // the value of a free slot; no value may be it

    // The value stored for `texto`; when there is none, stores `valor` and returns kVazio.
    uint32_t inserir(std::string_view texto, uint32_t valor)
    {
        if (4 * (usadas_ + 1) > 3 * slots_.size()) reservar(usadas_ + 1);
        const Slot novo{fnv1a(texto), outroHash(texto), valor};
        Slot& slot = procurar(novo);
        if (slot.valor != kVazio) return slot.valor;
        slot = novo;
        ++usadas_;
        return kVazio;
    }

    // The value stored for `texto`, or kVazio.
    uint32_t valor(std::string_view texto)
    {
        return slots_.empty() ? kVazio : procurar({fnv1a(texto), outroHash(texto), kVazio}).valor;
    }

    // Room for `quantos` texts in all without growing again: the table doubles until they would
    // fill at most three-quarters of it, and every slot in use moves to its place in the new one.
    // Each move is a miss in the processor's caches, so a table sized at once saves half the work.
    void reservar(std::size_t quantos)
    {
        std::size_t tamanho = slots_.empty() ? 1024 : slots_.size();
        while (4 * quantos > 3 * tamanho)
            tamanho *= 2;
        if (tamanho == slots_.size()) return;
        std::vector<Slot> antigos(tamanho);
        antigos.swap(slots_);
        for (const Slot& s : antigos)
            if (s.valor != kVazio) procurar(s) = s;
    }

private:
    struct Slot
    {
        uint64_t a = 0;
        uint32_t b = 0;
        uint32_t valor = kVazio;
    };

    Slot& procurar(const Slot& chave)
    {
        // FNV-1a's low bits are poorly mixed: the finaliser of splitmix64 mixes every bit into
        // the low ones that pick the first slot.
        uint64_t x = chave.a;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        const std::size_t mascara = slots_.size() - 1;
        std::size_t i = static_cast<std::size_t>(x ^ (x >> 31)) & mascara;
        while (slots_[i].valor != kVazio && (slots_[i].a != chave.a || slots_[i].b != chave.b))
            i = (i + 1) & mascara;
        return slots_[i];
    }

    std::vector<Slot> slots_;
    std::size_t usadas_ = 0;
};

// The folder that holds the name `nome` as its text gives it: what comes before its last "/",
// "." when there is none.
std::string pastaDoNome(std::string_view nome)
{
    const std::size_t barra = nome.rfind('/');
    if (barra == std::string_view::npos) return ".";
    return barra == 0 ? "/" : std::string(nome.substr(0, barra));
}

// A file's device and inode, or false when it cannot be examined.
bool identidade(const std::string& caminho, dev_t& dev, ino_t& ino)
{
    struct stat st
    {
    };
    if (stat(caminho.c_str(), &st) != 0) return false;
    dev = st.st_dev, ino = st.st_ino;
    return true;
}

// Where the names of a batch come from, so that a message can place one: the command line, then
// list files. Every name takes one position, and so does every line of a list (an empty one too),
// so that a position gives back its list and line.
class Fontes
{
public:
    explicit Fontes(const std::vector<std::string>& nomes) : nomes_(nomes) {}

    // The next list begins at position `inicio`.
    void novaLista(const std::string& lista, uint32_t inicio)
    {
        listas_.push_back({lista, inicio});
    }

    // `nome`, at `posicao`, for a message: ""x.png"", then its list and line when it has one.
    std::string citar(std::string_view nome, uint32_t posicao) const
    {
        return "\"" + std::string(nome) + "\"" + lugar(posicao, " (", ")");
    }

    // The image at the earlier `posicao`, whose text was not kept unless it is the command line's.
    std::string anterior(uint32_t posicao) const
    {
        if (posicao < nomes_.size()) return "a imagem \"" + nomes_[posicao] + "\"";
        return "a imagem" + lugar(posicao, " da ", "");
    }

private:
    struct Lista
    {
        std::string nome;
        uint32_t inicio;
    };

    // "linha 3 de "lista.txt"" between `antes` and `depois`; "" on the command line.
    std::string lugar(uint32_t posicao, const char* antes, const char* depois) const
    {
        if (posicao < nomes_.size() || listas_.empty()) return "";
        const auto lista =
            std::prev(std::upper_bound(listas_.begin(), listas_.end(), posicao,
                                       [](uint32_t p, const Lista& l) { return p < l.inicio; }));
        return std::string(antes) + "linha " + std::to_string(posicao - lista->inicio + 1) +
               (lista->nome == "-" ? " da entrada padrão" : " de \"" + lista->nome + "\"") + depois;
    }

    const std::vector<std::string>& nomes_;
    std::vector<Lista> listas_;
};

// Judges the names of a batch one at a time against the results folder and against each other.
class Juiz
{
public:
    Juiz(const std::string& pasta, const Fontes& fontes) : pasta_(pasta), fontes_(fontes)
    {
        temPasta_ = identidade(pasta, dev_, ino_);
        if (!temPasta_) return; // a folder yet to be made holds no file
        std::vector<std::string> daArea = nomesDaMalha();
        daArea.push_back(caminhoLocal(filename2));
        for (const auto& arquivo : daArea) {
            // Where the file really lies: a link is followed, since the result's rename would
            // take the place of what it leads to.
            std::string lugar = arquivo;
            struct stat st
            {
            };
            char* real = lstat(arquivo.c_str(), &st) == 0 && S_ISLNK(st.st_mode)
                             ? realpath(arquivo.c_str(), nullptr)
                             : nullptr;
            if (real != nullptr) lugar = real;
            std::free(real);
            if (naPasta(pastaDoNome(lugar)))
                daAreaNaPasta_.emplace(lugar.substr(lugar.rfind('/') + 1), arquivo);
        }
    }

    // Judges `nome`, read at `posicao`. False, recording why, when it is at fault.
    bool julgar(std::string_view nome, uint32_t posicao)
    {
        const std::string_view raiz = raizDoResultado(nome);
        if (raiz.empty()) {
            falhar(fontes_.citar(nome, posicao) + " não é o nome de um arquivo");
            return false;
        }
        const uint32_t outra = resultados_.inserir(raiz, posicao);
        if (outra != Hashes::kVazio) {
            falhar("a imagem " + fontes_.citar(nome, posicao) + " teria o mesmo resultado \"" +
                   nomeDoResultado(nome, pasta_) + "\" que " + fontes_.anterior(outra));
            return false;
        }
        if (!temPasta_) return true;
        const std::string pasta = pastaDoNome(nome);
        uint32_t nela = pastas_.valor(pasta);
        if (nela == Hashes::kVazio) pastas_.inserir(pasta, nela = naPasta(pasta));
        if (nela != 0) return recusarPasta(nome);
        const auto daArea = daAreaNaPasta_.find(std::string(raiz) + ".jpg");
        if (daArea != daAreaNaPasta_.end()) {
            falhar("o resultado de \"" + std::string(nome) + "\" substituiria \"" + daArea->second +
                   "\", um arquivo da área de trabalho");
            return false;
        }
        return true;
    }

    // Room for `nomes` names in all, judged without the table of results growing again.
    void reservar(std::size_t nomes) { resultados_.reservar(nomes); }

    // Judges an image of the part kept, whose text may be a link: false, recording why, when
    // what it leads to lies in the results folder.
    bool julgarLink(const std::string& imagem)
    {
        struct stat st
        {
        };
        if (!temPasta_ || lstat(imagem.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        char* real = realpath(imagem.c_str(), nullptr);
        const bool nela = real != nullptr && naPasta(pastaDoNome(real));
        std::free(real);
        return !nela || recusarPasta(imagem);
    }

private:
    bool naPasta(const std::string& outra) const
    {
        dev_t dev = 0;
        ino_t ino = 0;
        return identidade(outra, dev, ino) && dev == dev_ && ino == ino_;
    }

    bool recusarPasta(std::string_view imagem)
    {
        falhar("a pasta \"" + pasta_ + "\" guarda a imagem \"" + std::string(imagem) +
               "\" do lote, e os resultados não se misturam com as imagens; escolha com -o uma "
               "pasta sem imagens do lote");
        return false;
    }

    const std::string& pasta_;
    const Fontes& fontes_;
    bool temPasta_ = false;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    std::map<std::string, std::string> daAreaNaPasta_; // file name in the folder, workspace name
    Hashes resultados_; // result names, each with the position of its image
    Hashes pastas_;     // the folders of the names looked at: 1 for the results folder
};

// Splits the bytes of one list into its names, line by line, across the blocks it comes in,
// and hands each name on with its position.
class Linhas
{
public:
    using CadaNome = std::function<bool(std::string_view nome, uint32_t posicao)>;

    Linhas(const std::string& lista, uint32_t inicio, const CadaNome& cadaNome)
        : lista_(lista == "-" ? "da entrada padrão" : "\"" + lista + "\""), posicao_(inicio),
          inicioDaLista_(inicio), cadaNome_(cadaNome)
    {
    }

    // The next block of the list. False, recording why, to stop.
    bool bloco(const char* bytes, std::size_t n)
    {
        if (std::memchr(bytes, '\0', n) != nullptr) {
            falhar("a lista " + lista_ + " tem um byte nulo: não é uma lista de nomes");
            return false;
        }
        for (const char* fim = bytes + n; bytes < fim;) {
            const auto* quebra = static_cast<const char*>(std::memchr(bytes, '\n', fim - bytes));
            const char* ate = quebra == nullptr ? fim : quebra;
            // Room for a byte order mark and a "\r" beside the longest name.
            if (pendente_.size() + (ate - bytes) > kLimiteDoNome + 4) return longa();
            if (quebra == nullptr) {
                pendente_.append(bytes, ate);
                return true;
            }
            bool segue = false;
            if (pendente_.empty()) {
                segue = linha(std::string_view(bytes, ate - bytes));
            } else {
                pendente_.append(bytes, ate);
                segue = linha(pendente_);
                pendente_.clear();
            }
            if (!segue) return false;
            bytes = quebra + 1;
        }
        return true;
    }

    // The end of the list: its last line needs no line end. False, recording why, to stop.
    bool fim() { return pendente_.empty() || linha(pendente_); }

    // The position after the list's last line.
    uint32_t proxima() const { return posicao_; }

private:
    bool linha(std::string_view texto)
    {
        if (posicao_ == inicioDaLista_ && texto.substr(0, 3) == "\xEF\xBB\xBF")
            texto.remove_prefix(3); // a byte order mark, which editors write and mean nothing by
        if (!texto.empty() && texto.back() == '\r') texto.remove_suffix(1);
        if (texto.size() > kLimiteDoNome) return longa();
        if (posicao_ == UINT32_MAX - 1) {
            falhar("as listas passam de " + std::to_string(UINT32_MAX - 1) + " linhas");
            return false;
        }
        const uint32_t posicao = posicao_++;
        return texto.empty() || cadaNome_(texto, posicao);
    }

    bool longa()
    {
        falhar("a linha " + std::to_string(posicao_ - inicioDaLista_ + 1) + " da lista " + lista_ +
               " passa de " + std::to_string(kLimiteDoNome) + " bytes: não é o nome de um arquivo");
        return false;
    }

    std::string lista_; // for messages: "lista.txt" in quotes, or "da entrada padrão"
    uint32_t posicao_;
    const uint32_t inicioDaLista_;
    const CadaNome& cadaNome_;
    std::string pendente_; // the start of a line that the next block goes on with
};

// A modification time in nanoseconds.
int64_t emNanossegundos(const struct stat& st)
{
    return int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

Lote lerLote(const std::vector<std::string>& nomes, const std::vector<std::string>& listas,
             const std::string& pasta, int parte, int partes, std::vector<std::string>& imagens)
{
    imagens.clear();
    Fontes fontes(nomes);
    Juiz juiz(pasta, fontes);
    std::size_t quantos = 0;
    bool recusado = false;
    const Linhas::CadaNome cadaNome = [&](std::string_view nome, uint32_t posicao) {
        if (++quantos > kLimiteDeNomes) {
            falhar("o lote passa de " + std::to_string(kLimiteDeNomes) + " nomes");
            return false;
        }
        recusado = !juiz.julgar(nome, posicao);
        if (!recusado && parteDe(nome, partes) == parte) imagens.emplace_back(nome);
        return !recusado;
    };
    uint32_t posicao = 0;
    for (const auto& nome : nomes)
        if (!cadaNome(nome, posicao++)) return recusado ? Lote::Recusado : Lote::Ilegivel;
    for (const auto& lista : listas) {
        fontes.novaLista(lista, posicao);
        Linhas linhas(lista, posicao, cadaNome);
        struct stat st
        {
        };
        bool primeiro = lista != "-" && stat(lista.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        const CadaBloco bloco = [&](const char* bytes, std::size_t n) {
            if (primeiro) { // the list's names guessed from the lines of its first block
                const auto linhasNoBloco =
                    static_cast<std::size_t>(std::count(bytes, bytes + n, '\n'));
                const std::size_t blocos = static_cast<std::size_t>(st.st_size) / n + 1;
                juiz.reservar(std::min(kLimiteDeNomes, quantos + (linhasNoBloco + 1) * blocos));
                primeiro = false;
            }
            return linhas.bloco(bytes, n);
        };
        std::string porque;
        bool abriu = true;
        const bool leu = lista == "-" ? lerEmBlocos(STDIN_FILENO, kLimiteDasListas, bloco, porque)
                                      : lerEmBlocos(lista, kLimiteDasListas, bloco, porque, &abriu);
        if (!leu && !porque.empty())
            falhar(lista == "-" ? "não foi possível ler a lista da entrada padrão: " + porque
                                : naoLeu(lista, porque, abriu));
        if (!leu || !linhas.fim()) return recusado ? Lote::Recusado : Lote::Ilegivel;
        posicao = linhas.proxima();
    }
    for (const auto& imagem : imagens)
        if (!juiz.julgarLink(imagem)) return Lote::Recusado;
    return Lote::Lido;
}

bool lerParte(const std::string& texto, int& parte, int& partes)
{
    const std::size_t barra = texto.find('/');
    const auto numero = [](const std::string& s, int& n) {
        if (s.empty() || s.size() > 7 || s.find_first_not_of("0123456789") != std::string::npos)
            return false;
        n = std::stoi(s);
        return true;
    };
    return barra != std::string::npos && numero(texto.substr(0, barra), parte) &&
           numero(texto.substr(barra + 1), partes) && parte >= 1 && parte <= partes &&
           partes <= 1000000;
}

int parteDe(std::string_view imagem, int partes)
{
    return static_cast<int>(fnv1a(imagem) % static_cast<uint64_t>(partes)) + 1;
}

int64_t maisRecente(const std::vector<std::string>& arquivos)
{
    int64_t recente = INT64_MIN;
    for (const auto& arquivo : arquivos) {
        struct stat st
        {
        };
        if (stat(arquivo.c_str(), &st) != 0) return INT64_MAX;
        recente = std::max(recente, emNanossegundos(st));
    }
    return recente;
}

Resultado estadoDoResultado(const std::string& imagem, const std::string& resultado,
                            int64_t dependencias, int largura, int altura)
{
    struct stat daImagem
    {
    }, st{};
    const int fd = ::open(resultado.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? Resultado::Falta : Resultado::Refazer;
    std::string inicio(std::size_t{64} << 10, '\0');
    char fim[2] = {0, 0};
    bool inteiro = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 4 &&
                   stat(imagem.c_str(), &daImagem) == 0 &&
                   emNanossegundos(st) > emNanossegundos(daImagem) &&
                   emNanossegundos(st) > dependencias;
    if (inteiro) {
        const ssize_t n = pread(fd, inicio.data(), inicio.size(), 0);
        inteiro = n >= 4 && pread(fd, fim, 2, st.st_size - 2) == 2;
        inicio.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    close(fd);
    if (!inteiro || inicio.compare(0, 2, "\xFF\xD8") != 0 || fim[0] != '\xFF' || fim[1] != '\xD9')
        return Resultado::Refazer;
    const CabecalhoDeImagem cabecalho = lerCabecalho(inicio);
    return cabecalho.formato == FormatoDeImagem::Jpeg && cabecalho.largura == largura &&
                   cabecalho.altura == altura
               ? Resultado::EmDia
               : Resultado::Refazer;
}

} // namespace corretor
