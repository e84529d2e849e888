#include "authoring/point_picking.h"

#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/report.h"
#include "utilities/whole_file.h"

#include <opencv2/highgui/highgui_c.h>
#include <opencv2/imgproc/imgproc_c.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace corretor {

CvPoint pt;
CvPoint ponto;
int count;
int t_count2;
FILE* ff;
char arq2[15] = "malha2.txt";

namespace {

constexpr int kBotaoEsquerdo = CV_EVENT_LBUTTONDOWN; // 1

// The marker of a pick: a filled, anti-aliased (line type 16) disc in marker red.
void marcar(IplImage* image, CvPoint p, int raio)
{
    cvCircle(image, p, raio, cvScalar(0, 0, 255, 0), -1, CV_AA, 0);
}

// y turned over for an image whose first row is its bottom one: height - y, as the pick has
// always been recorded (not height - 1 - y).
int virar(const IplImage* image, int y)
{
    return image->origin != 0 ? image->height - y : y;
}

// Appends `linha` to the file `nome`, opened for appending into `handle` and closed again (a
// last line left without its line end is ended first: anexarTexto). A file that cannot be
// opened or written is named in a warning; the pick goes on regardless.
void anexar(FILE*& handle, const char* nome, const std::string& linha)
{
    const std::string caminho = caminhoLocal(nome);
    if (!anexarTexto(handle, caminho, linha))
        avisar("não foi possível anexar a \"" + caminho + "\": " + textoDoErro(errno));
}

// The steps shared by the four callbacks, after the flip and the event test: keep, print,
// push, mark.
void registrar(IplImage* image, CvPoint& guardado, CvSeq* sequencia, int raio, int x, int y)
{
    guardado = cvPoint(x, y);
    std::printf("pixel x: %d  y:%d\n", guardado.x, guardado.y);
    cvSeqPush(sequencia, &guardado);
    marcar(image, guardado, raio);
}

std::string linhaXY(CvPoint p)
{
    return std::to_string(p.x) + " " + std::to_string(p.y) + "\n";
}

// The window system calls the callbacks from C code, which an exception must not unwind: one
// that escapes a callback's body (no memory for a line, a sequence that cannot grow) is named in
// a warning and the pick is lost.
constexpr const char* kFalhaNaMarcacao = "a marcação do ponto falhou";

} // namespace

void on_mouse(int event, int x, int y, int /*flags*/, void* /*param*/)
{
    semDeixarEscapar(kFalhaNaMarcacao, [&] {
        if (img == nullptr) return;
        y = virar(img, y); // before the event test, so that every event sees the same y
        if (event != kBotaoEsquerdo) return;
        registrar(img, pt, seq, 2, x, y);
        ++count;
    });
}

void on_mouse2(int event, int x, int y, int /*flags*/, void* /*param*/)
{
    semDeixarEscapar(kFalhaNaMarcacao, [&] {
        if (img2 == nullptr) return;
        y = virar(img2, y);
        if (event != kBotaoEsquerdo) return;
        registrar(img2, ponto, seq2, 2, x, y);
        anexar(ff, arq2, std::to_string(t_count2) + " " + linhaXY(ponto));
        ++t_count2;
    });
}

void on_mouse3(int event, int x, int y, int /*flags*/, void* /*param*/)
{
    semDeixarEscapar(kFalhaNaMarcacao, [&] {
        if (img == nullptr || event != kBotaoEsquerdo) return;
        registrar(img, pt, seq, 1, x, y);
        anexar(fp, "vertices.txt", linhaXY(pt));
    });
}

void on_mouse4(int event, int x, int y, int /*flags*/, void* /*param*/)
{
    semDeixarEscapar(kFalhaNaMarcacao, [&] {
        if (img2 == nullptr || event != kBotaoEsquerdo) return;
        registrar(img2, ponto, seq, 1, x, y); // seq, not seq2: the pattern's nodes join the image's
        anexar(ff, "vertices2.txt", linhaXY(ponto));
        ++t_count2;
    });
}

void reiniciarMarcacao()
{
    count = 0;
    t_count2 = 0;
    pt = ponto = cvPoint(0, 0);
    cvClearSeq(seq);
    cvClearSeq(seq2);
}

} // namespace corretor
