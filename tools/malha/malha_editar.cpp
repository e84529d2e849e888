// malha editar: the authoring window. Shows the image to correct, enlarged four times so that
// its pixels are those of the source mesh, and the pattern, each in a window; registers the
// point picking callbacks for the mode chosen with a key, and shows the images again after
// every pick. Other keys draw the meshes, the picked points and the triangle of a pixel, save
// the drawings, and quit.
#include "authoring/editor_picks.h"
#include "authoring/mesh_drawing.h"
#include "authoring/point_picking.h"
#include "authoring/show.h"
#include "correction/driver.h"
#include "correction/image_ops.h"
#include "correction/stages.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "tools/malha/malha_cli.h"
#include "utilities/report.h"
#include "utilities/workspace_lock.h"

#include <opencv2/highgui.hpp>
#include <opencv2/highgui/highgui_c.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace corretor {

const char kAjudaEditar[] =
    "uso: malha editar IMAGEM\n"
    "\n"
    "Mostra IMAGEM ampliada quatro vezes (duas vezes por dois) na janela \"imagem\" e o\n"
    "padrão \"data/pattern.jpg\" na janela \"padrao\". Os pixels da imagem ampliada são as\n"
    "coordenadas da malha de origem (\"data/verticesamp4.txt\"); os do padrão, as da malha de\n"
    "destino (\"data/vertices2.txt\"). Cada clique com o botão esquerdo marca um ponto\n"
    "vermelho e o anota conforme o modo; os arquivos são sempre anexados, nunca apagados.\n"
    "As janelas podem ser redimensionadas: os pontos continuam em pixels das imagens.\n"
    "Precisa de uma tela (DISPLAY); sem tela, use \"malha desenhar\".\n"
    "\n"
    "teclas:\n"
    "  n  modo nós: clique na imagem anexa \"x y\" a \"vertices.txt\"; no padrão,\n"
    "     a \"vertices2.txt\" (clique cada nó nas duas janelas, na mesma ordem)\n"
    "  t  modo triângulos: clique no padrão anexa \"k x y\" a \"malha2.txt\"; três cliques\n"
    "     seguidos são os cantos de um triângulo\n"
    "  p  modo pontos: clique na imagem só marca o ponto, sem gravar arquivo\n"
    "  s  modo sonda: clique no padrão procura o triângulo de \"malha2.txt\" que contém o\n"
    "     pixel e o contorna (nada aparece quando não há nenhum)\n"
    "  o  desenha a malha de origem sobre a imagem\n"
    "  d  desenha a malha de destino sobre o padrão\n"
    "  a  desenha o próximo ponto de \"malha2.txt\" sobre o padrão\n"
    "  l  limpa os desenhos (os pontos anotados ficam nos arquivos)\n"
    "  r  redesenha todas as marcações até aqui, numeradas\n"
    "  u  desfaz a última marcação do modo atual: tira sua linha do arquivo e do desenho\n"
    "  z  amplia duas vezes a vista da janela em torno do ponteiro (de novo: mais)\n"
    "  x  volta a mostrar a imagem inteira\n"
    "  g  grava as janelas em \"editor-imagem.png\" e \"editor-padrao.png\"\n"
    "  h  mostra estas teclas\n"
    "  q  sai (também Esc)\n"
    "Cada marcação leva seu número no desenho (nó k nas duas janelas) e o título das janelas\n"
    "mostra quantos nós cada uma tem; um clique duplo marca um ponto só.\n"
    "O editor começa no modo nós.\n";

namespace {

const char kJanelaImagem[] = "imagem";
const char kJanelaPadrao[] = "padrao";
const char kGravadaImagem[] = "editor-imagem.png";
const char kGravadoPadrao[] = "editor-padrao.png";

// The largest size a window takes at start; a larger image is shown scaled down to fit and the
// window can be resized. 1000 x 800 leaves room for both windows on a common screen.
constexpr int kLarguraMaxima = 1000;
constexpr int kAlturaMaxima = 800;

// A click in a window that the current mode does not use.
void ignorar(int, int, int, int, void*) {}

// Set by the probe, which draws without picking a point.
bool redesenhar = false;

// The probe of the mode "sonda": the triangle of the triangle point file that holds the pixel.
void sondar(int event, int x, int y, int /*flags*/, void* /*param*/)
{
    if (img2 == nullptr || event != CV_EVENT_LBUTTONDOWN) return;
    std::printf("sonda no pixel x: %d  y:%d\n", x, y);
    inTriangulo(img2, arq2, cvPoint(x, y));
    redesenhar = true;
}

struct Modo
{
    char tecla;
    const char* descricao;
    CvMouseCallback naImagem;
    CvMouseCallback noPadrao;
};

const Modo kModos[] = {
    {'n', "nós (imagem: \"vertices.txt\"; padrão: \"vertices2.txt\")", on_mouse3, on_mouse4},
    {'t', "triângulos (padrão: \"malha2.txt\")", ignorar, on_mouse2},
    {'p', "pontos (imagem: só a marca)", on_mouse, ignorar},
    {'s', "sonda (padrão: triângulo de \"malha2.txt\" que contém o pixel)", ignorar, sondar},
};

const Modo* modoAtual = &kModos[0];

void escolherModo(const Modo& modo, bool anunciar = true)
{
    modoAtual = &modo;
    if (anunciar) std::printf("modo: %s\n", modo.descricao);
}

// What a window shows: the whole image (fator 1) or a part of it, `fator` times larger. Clicks
// come in pixels of what is shown and are moved back to pixels of the image.
struct Vista
{
    int fator = 1;
    cv::Rect recorte; // in pixels of the image; empty: all of it
};
Vista vistaDaImagem, vistaDoPadrao;

// Where the pointer was last, in pixels of the image under it.
bool ponteiroNoPadrao = false;
cv::Point ponteiro(0, 0);

// A second press this soon after the first and this close to it is the window library's
// double click, not a pick of its own.
constexpr auto kCliqueDuplo = std::chrono::milliseconds(500);
constexpr int kDistanciaDoCliqueDuplo = 3;

void atualizarTitulos()
{
    const int a = nosNaImagem(), b = nosNoPadrao();
    cv::setWindowTitle(kJanelaImagem, "imagem: " + std::to_string(a) +
                                          " nós | padrao: " + std::to_string(b) + " nós");
    cv::setWindowTitle(kJanelaPadrao, "padrao: " + std::to_string(b) +
                                          " nós | imagem: " + std::to_string(a) + " nós");
}

// The pick the mode's callback just made on one image, recorded, numbered and told.
void anotar(bool noPadrao)
{
    Marcacao m{noPadrao, modoAtual->tecla, noPadrao ? ponto : pt, "", "", 0, 1, true};
    if (m.modo == 'n') {
        m.arquivo = noPadrao ? "vertices2.txt" : "vertices.txt";
        m.linha = std::to_string(m.ponto.x) + " " + std::to_string(m.ponto.y) + "\n";
    } else if (m.modo == 't') {
        m.arquivo = arq2;
        m.raio = 2;
        m.linha = std::to_string(t_count2 - 1) + " " + std::to_string(m.ponto.x) + " " +
                  std::to_string(m.ponto.y) + "\n";
    } else {
        m.raio = 2;
    }
    m.numero = proximoNumero(noPadrao, m.modo);
    marcacoes.push_back(m);
    numerar(noPadrao ? img2 : img, m);
    const char* janela = noPadrao ? kJanelaPadrao : kJanelaImagem;
    const char* oQue = m.modo == 'n' ? "nó" : m.modo == 't' ? "canto" : "ponto";
    if (m.arquivo.empty())
        std::printf("janela \"%s\": %s %d, sem arquivo\n", janela, oQue, m.numero);
    else
        std::printf("janela \"%s\": %s %d anotado em \"%s\"\n", janela, oQue, m.numero,
                    m.arquivo.c_str());
    atualizarTitulos();
}

// The callback of each window: moves the point back to the image's pixels, passes presses on
// to the mode's callback (a double click once), and records what it picked.
void clique(bool noPadrao, int event, int x, int y, int flags)
{
    const Vista& vista = noPadrao ? vistaDoPadrao : vistaDaImagem;
    x += vista.recorte.x;
    y += vista.recorte.y;
    if (event == CV_EVENT_MOUSEMOVE) {
        ponteiroNoPadrao = noPadrao;
        ponteiro = cv::Point(x, y);
    }
    if (event == CV_EVENT_LBUTTONDBLCLK) return;
    if (event == CV_EVENT_LBUTTONDOWN) {
        static auto antes = std::chrono::steady_clock::now() - kCliqueDuplo;
        static cv::Point onde(-1000, -1000);
        static bool ondeNoPadrao = false;
        const auto agora = std::chrono::steady_clock::now();
        const bool duplo = ondeNoPadrao == noPadrao && agora - antes < kCliqueDuplo &&
                           std::abs(x - onde.x) <= kDistanciaDoCliqueDuplo &&
                           std::abs(y - onde.y) <= kDistanciaDoCliqueDuplo;
        antes = agora;
        onde = cv::Point(x, y);
        ondeNoPadrao = noPadrao;
        if (duplo) return;
    }
    const int antes = seq->total, antes2 = seq2->total;
    (noPadrao ? modoAtual->noPadrao : modoAtual->naImagem)(event, x, y, flags, nullptr);
    if (seq->total != antes || seq2->total != antes2) anotar(noPadrao);
}

// The window system calls these from C code, which an exception must not unwind: one that
// escapes (no memory for a line or a label) is named on standard error and the click is lost.
void cliqueNaImagem(int event, int x, int y, int flags, void*)
{
    semDeixarEscapar("o clique não foi tratado", [&] { clique(false, event, x, y, flags); });
}

void cliqueNoPadrao(int event, int x, int y, int flags, void*)
{
    semDeixarEscapar("o clique não foi tratado", [&] { clique(true, event, x, y, flags); });
}

// A window that fits the image within the largest size, keeping its shape. Clicks give pixels
// of the image whatever the window's size. `show` then finds the window already made.
CvSize criarJanela(const char* nome, const IplImage* image)
{
    const double escala = std::min({1.0, static_cast<double>(kLarguraMaxima) / image->width,
                                    static_cast<double>(kAlturaMaxima) / image->height});
    const CvSize tamanho = cvSize(std::max(1, static_cast<int>(image->width * escala)),
                                  std::max(1, static_cast<int>(image->height * escala)));
    cvNamedWindow(nome, CV_WINDOW_NORMAL | CV_WINDOW_KEEPRATIO | CV_GUI_NORMAL);
    cvResizeWindow(nome, tamanho.width, tamanho.height);
    return tamanho;
}

void mostrar(const char* janela, IplImage* image, const Vista& vista)
{
    if (vista.fator == 1)
        cvShowImage(janela, image);
    else
        cv::imshow(janela, cv::cvarrToMat(image)(vista.recorte));
}

void mostrarDeNovo()
{
    mostrar(kJanelaImagem, img, vistaDaImagem);
    mostrar(kJanelaPadrao, img2, vistaDoPadrao);
}

// Doubles the view of the window under the pointer about the pointer, up to 16 times; `fator`
// 1 shows the whole image again in both.
void ampliarVista(bool dobrar)
{
    if (!dobrar) {
        vistaDaImagem = vistaDoPadrao = Vista{};
        std::printf("vista inteira nas duas janelas\n");
        return;
    }
    Vista& vista = ponteiroNoPadrao ? vistaDoPadrao : vistaDaImagem;
    const IplImage* image = ponteiroNoPadrao ? img2 : img;
    vista.fator = std::min(vista.fator * 2, 16);
    const int w = std::max(1, image->width / vista.fator),
              h = std::max(1, image->height / vista.fator);
    vista.recorte = cv::Rect(std::clamp(ponteiro.x - w / 2, 0, image->width - w),
                             std::clamp(ponteiro.y - h / 2, 0, image->height - h), w, h);
    std::printf("vista %dx na janela \"%s\" em torno de (%d, %d)\n", vista.fator,
                ponteiroNoPadrao ? kJanelaPadrao : kJanelaImagem, ponteiro.x, ponteiro.y);
}

// A window that the user closed is hidden, not destroyed: it is no longer visible.
bool janelasAbertas()
{
    return cvGetWindowProperty(kJanelaImagem, CV_WND_PROP_VISIBLE) > 0 &&
           cvGetWindowProperty(kJanelaPadrao, CV_WND_PROP_VISIBLE) > 0;
}

// Loads the vertex and triangle files into the mesh store; false after a warning.
bool carregarMalhaDaPasta()
{
    limparMalha();
    limparFalha();
    if (carregarVertices() && carregarTriangulos() >= 0) return true;
    avisar(motivoFalha());
    limparFalha();
    return false;
}

void gravarDesenhos()
{
    limparFalha();
    if (save(kGravadaImagem, img) && save(kGravadoPadrao, img2)) {
        std::printf("gravadas \"%s\" e \"%s\"\n", kGravadaImagem, kGravadoPadrao);
        return;
    }
    avisar(motivoFalha());
    limparFalha();
}

// The images as loaded, to clear the drawings: the picture at its own size (its enlargement
// is made again, rather than kept twice) and the pattern. The process-wide img and img2, which
// the picking callbacks draw on, go with the object too.
struct Originais
{
    Imagem foto;
    Imagem padrao;
    Originais() = default;
    Originais(const Originais&) = delete;
    Originais& operator=(const Originais&) = delete;
    ~Originais()
    {
        free(img);
        free(img2);
        img = img2 = nullptr;
    }
};

// The picture enlarged four times into img, which has that size already.
void ampliarDeNovo(const IplImage* foto)
{
    const Imagem dobrada(dobra(foto));
    if (dobrada != nullptr) dobraEm(dobrada.get(), img);
}

// Acts on one key; false when the key ends the editor.
bool tratarTecla(int tecla, const Originais& originais)
{
    if (tecla == 27 || tecla == 'q') return false;
    for (const Modo& modo : kModos)
        if (tecla == modo.tecla) {
            escolherModo(modo);
            return true;
        }
    switch (tecla) {
    case 'o':
        if (carregarMalhaDaPasta()) {
            carregarMalha(img, 0);
            std::printf("malha de origem desenhada sobre a imagem\n");
        }
        break;
    case 'd':
        if (carregarMalhaDaPasta()) {
            carregarMalha(img2, 1);
            std::printf("malha de destino desenhada sobre o padrão\n");
        }
        break;
    case 'a': {
        const int antes = count;
        desenhaPonto(img2, arq2);
        if (count == antes) std::printf("não há mais pontos em \"%s\"\n", arq2);
        break;
    }
    case 'l':
        ampliarDeNovo(originais.foto.get());
        cvCopy(originais.padrao.get(), img2);
        std::printf("desenhos limpos\n");
        break;
    case 'g':
        gravarDesenhos();
        break;
    case 'r':
        ampliarDeNovo(originais.foto.get());
        cvCopy(originais.padrao.get(), img2);
        desenharMarcacoes();
        std::printf("marcações redesenhadas: %zu\n", marcacoes.size());
        break;
    case 'u': {
        Marcacao m{};
        std::string motivo;
        if (!desfazerUltima(modoAtual->tecla, m, motivo)) {
            std::printf("nada desfeito: %s\n", motivo.c_str());
            break;
        }
        ampliarDeNovo(originais.foto.get());
        cvCopy(originais.padrao.get(), img2);
        desenharMarcacoes();
        atualizarTitulos();
        std::printf("desfeito: %d na janela \"%s\"%s%s%s\n", m.numero,
                    m.noPadrao ? kJanelaPadrao : kJanelaImagem,
                    m.arquivo.empty() ? "" : ", linha tirada de \"", m.arquivo.c_str(),
                    m.arquivo.empty() ? "" : "\"");
        break;
    }
    case 'z':
    case 'x':
        ampliarVista(tecla == 'z');
        break;
    case 'h':
        std::fputs(std::strstr(kAjudaEditar, "teclas:"), stdout);
        break;
    default:
        return true;
    }
    redesenhar = true;
    return true;
}

// Loads IMAGE and the pattern into `originais`, IMAGE enlarged four times into img and a copy
// of the pattern into img2; false, reason recorded.
bool carregarImagens(const std::string& nome, Originais& originais)
{
    originais.foto = abrirParaAmpliar(nome.c_str());
    if (originais.foto == nullptr) return false;
    img = ampliaQuatroVezes(originais.foto.get()).release();
    if (img == nullptr) return false;
    originais.padrao = abrir(caminhoLocal(filename2).c_str());
    if (originais.padrao == nullptr) return false;
    img2 = cvCloneImage(originais.padrao.get());
    return true;
}

bool temTela()
{
    for (const char* variavel : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* valor = std::getenv(variavel);
        if (valor != nullptr && *valor != '\0') return true;
    }
    return false;
}

} // namespace

int malhaEditar(const Argumentos& argumentos)
{
    std::string imagem;
    if (!lerUmaPalavra(argumentos, "o nome da imagem", imagem)) return kSaidaUso;
    if (!temTela()) {
        falhar("não há tela (DISPLAY não está definido); para gravar os desenhos das malhas "
               "sem janela, use \"malha desenhar\"");
        return kSaidaFalha;
    }
    TravaDaPasta trava;
    if (!trava.travar(".", TravaDaPasta::Modo::Escrita) || !malhaCompleta()) return kSaidaFalha;
    Originais originais;
    if (!carregarImagens(imagem, originais)) return kSaidaFalha;
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    const CvSize janela = criarJanela(kJanelaImagem, img);
    criarJanela(kJanelaPadrao, img2);
    show(kJanelaImagem, img);
    show(kJanelaPadrao, img2);
    cvMoveWindow(kJanelaPadrao, 100 + janela.width + 10, 100); // beside the image, not over it
    cvSetMouseCallback(kJanelaImagem, cliqueNaImagem, nullptr);
    cvSetMouseCallback(kJanelaPadrao, cliqueNoPadrao, nullptr);
    escolherModo(kModos[0], false);
    lerMarcacoesDosArquivos();
    atualizarTitulos();
    cvWaitKey(1);
    std::printf("imagem \"%s\" ampliada: %d x %d pixels; padrão: %d x %d pixels\n",
                escaparControles(imagem).c_str(), img->width, img->height, img2->width,
                img2->height);
    std::fputs(std::strstr(kAjudaEditar, "teclas:"), stdout);
    std::printf("modo: %s\n", kModos[0].descricao);
    std::fflush(stdout);

    int vistos = seq->total, vistos2 = seq2->total;
    for (;;) {
        const int tecla = cvWaitKey(30);
        if (!janelasAbertas()) break;
        if (tecla >= 0 && tecla < 256 &&
            !tratarTecla(std::tolower(static_cast<unsigned char>(tecla)), originais))
            break;
        if (redesenhar || seq->total != vistos || seq2->total != vistos2) {
            mostrarDeNovo();
            vistos = seq->total;
            vistos2 = seq2->total;
            redesenhar = false;
        }
        std::fflush(stdout); // the lines of the callbacks, at once on a pipe too
    }
    cvDestroyAllWindows();
    std::printf("fim da edição\n");
    return kSaidaOk;
}

} // namespace corretor
