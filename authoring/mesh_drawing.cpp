#include "authoring/mesh_drawing.h"

#include "authoring/point_picking.h"
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "mesh/point_file.h"
#include "utilities/file_read.h"
#include "utilities/geometry.h"
#include "utilities/report.h"

#include <opencv2/imgproc/imgproc_c.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace corretor {

namespace {

const CvScalar kVermelho = cvScalar(0, 0, 255, 0);

void disco(IplImage* image, CvPoint p, int raio)
{
    cvCircle(image, p, raio, kVermelho, -1, CV_AA, 0);
}

void segmento(IplImage* image, CvPoint a, CvPoint b, CvScalar cor)
{
    cvLine(image, a, b, cor, 1, CV_AA, 0);
}

// The lines of the triangle point file `nome` (mesh/point_file.h). False, after a warning
// naming the file, when it cannot be read.
bool lerLinhas(const char* nome, std::vector<LinhaDePontos>& linhas)
{
    std::string porque;
    bool abriu = false;
    if (!lerArquivoDePontos(caminhoLocal(nome), 3, linhas, porque, &abriu)) {
        avisar(naoLeu(caminhoLocal(nome), porque, abriu));
        return false;
    }
    return true;
}

void avisarRegistro(const char* nome, std::size_t indice, const std::string& depois)
{
    avisar("\"" + caminhoLocal(nome) + "\", linha " + std::to_string(indice + 1) +
           ": não é um registro de três inteiros \"k x y\"; " + depois);
}

// The probe is in the triangle when the three edge values of the side test (exact, as prod
// forms them) are all >= 0 or all <= 0: an inside point of either winding, and the points of the
// edges and corners. A triangle whose corners coincide holds every point; one whose corners lie
// on a line, the points of that line.
bool contemSonda(const CvPoint (&p)[3], CvPoint pxl)
{
    const Ponto q{pxl.x, pxl.y};
    int positivos = 0, negativos = 0;
    for (int i = 0; i < 3; ++i) {
        const int lado =
            orientacao(Ponto{p[i].x, p[i].y}, Ponto{p[(i + 1) % 3].x, p[(i + 1) % 3].y}, q);
        positivos += lado > 0;
        negativos += lado < 0;
    }
    return positivos == 0 || negativos == 0;
}

} // namespace

IplImage* desenhaTriangulo(IplImage* image, CvSeq* sq)
{
    if (sq == nullptr || sq->total < 3) return image;
    CV_Assert(sq->elem_size == static_cast<int>(sizeof(CvPoint)));
    std::printf("temos um triangulo\n");
    const int color = std::rand();
    const CvScalar cor = cvScalar((color >> 16) & 255, (color >> 8) & 255, color & 255, 0);
    const int n = sq->total;
    const CvPoint a = *reinterpret_cast<const CvPoint*>(cvGetSeqElem(sq, n - 1));
    const CvPoint b = *reinterpret_cast<const CvPoint*>(cvGetSeqElem(sq, n - 2));
    const CvPoint c = *reinterpret_cast<const CvPoint*>(cvGetSeqElem(sq, n - 3));
    segmento(image, a, b, cor);
    segmento(image, b, c, cor);
    segmento(image, a, c, cor);
    return image;
}

IplImage* carregarMalha(IplImage* image, int vt)
{
    const int(*nos)[2] = vt == 0 ? vert : vert2;
    const CvScalar aresta = cvScalar(255, 255.0 * vt, 0, 0); // the library saturates to 0..255
    for (int k = 0; k < kTriangulos; ++k) {
        CvPoint p[3];
        bool valido = true;
        for (int i = 0; i < 3; ++i) {
            const int no = trg[k][i];
            valido = valido && no >= 0 && no < kNos;
            if (valido) p[i] = cvPoint(nos[no][0], nos[no][1]);
        }
        if (!valido) continue;
        for (const CvPoint& q : p)
            disco(image, q, 1);
        segmento(image, p[0], p[1], aresta);
        segmento(image, p[1], p[2], aresta);
        segmento(image, p[2], p[0], aresta);
    }
    return image;
}

IplImage* desenhaPonto(IplImage* image, const char* nomearquivo)
{
    std::vector<LinhaDePontos> linhas;
    if (!lerLinhas(nomearquivo, linhas)) return image;
    if (count < 0 || static_cast<std::size_t>(count) >= linhas.size()) return image;
    const LinhaDePontos& linha = linhas[count];
    if (!linha.registro) {
        avisarRegistro(nomearquivo, count, "passando ao seguinte");
        ++count;
        return image;
    }
    const int* kxy = linha.valores;
    std::printf("%d %d %d\n", kxy[0], kxy[1], kxy[2]);
    disco(image, cvPoint(kxy[1], kxy[2]), 2);
    ++count;
    return image;
}

IplImage* inTriangulo(IplImage* image, const char* nomearquivo, CvPoint pxl)
{
    CvSeq* cantos = cvCreateSeq(CV_32SC2, sizeof(CvContour), sizeof(CvPoint), storage);
    disco(image, pxl, 2);
    std::vector<LinhaDePontos> linhas;
    if (!lerLinhas(nomearquivo, linhas)) return image;
    for (std::size_t r = 0; r + 2 < linhas.size(); r += 3) {
        CvPoint p[3];
        int k = 0;
        for (int i = 0; i < 3; ++i) {
            const LinhaDePontos& linha = linhas[r + i];
            if (!linha.registro) {
                avisarRegistro(nomearquivo, r + i, "a busca para aqui");
                return image;
            }
            k = linha.valores[0];
            p[i] = cvPoint(linha.valores[1], linha.valores[2]);
        }
        for (CvPoint& q : p)
            cvSeqPush(cantos, &q);
        if (contemSonda(p, pxl)) {
            std::printf("entrou no triangulo %d", k / 3);
            return desenhaTriangulo(image, cantos);
        }
    }
    return image;
}

} // namespace corretor
