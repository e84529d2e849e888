#include "authoring/mesh_drawing.h"

#include "authoring/point_picking.h"
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/file_read.h"
#include "utilities/geometry.h"
#include "utilities/report.h"

#include <opencv2/imgproc/imgproc_c.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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

// The records of the triangle point file `nome`: its lines without their line ends, a UTF-8
// byte order mark at the start and blank lines at the end dropped. The file is read whole and
// bounded (utilities/file_read.h). False, after a warning naming the file, when it cannot be
// read.
bool lerLinhas(const char* nome, std::vector<std::string>& linhas)
{
    std::string texto, porque;
    bool abriu = false;
    if (!lerArquivo(caminhoLocal(nome), texto, kLimiteDeArquivoDaMalha, porque, &abriu)) {
        avisar(naoLeu(caminhoLocal(nome), porque, abriu));
        return false;
    }
    std::size_t inicio = texto.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (inicio < texto.size()) {
        const std::size_t fim = std::min(texto.find('\n', inicio), texto.size());
        linhas.push_back(texto.substr(inicio, fim - inicio));
        inicio = fim + 1;
    }
    while (!linhas.empty() && linhas.back().find_first_not_of(" \t\r\v\f") == std::string::npos)
        linhas.pop_back();
    return true;
}

// A record "k x y": three decimal integers of 32 bits, each with an optional sign, separated
// and surrounded by white space, nothing else on the line.
bool lerRegistro(const std::string& linha, int& k, int& x, int& y)
{
    const char* c = linha.c_str();
    for (int* destino : {&k, &x, &y}) {
        while (std::isspace(static_cast<unsigned char>(*c)))
            ++c;
        if (*c != '+' && *c != '-' && !std::isdigit(static_cast<unsigned char>(*c))) return false;
        char* fim = nullptr;
        errno = 0;
        const long long valor = std::strtoll(c, &fim, 10);
        if (fim == c || errno == ERANGE || valor < INT_MIN || valor > INT_MAX) return false;
        *destino = static_cast<int>(valor);
        c = fim;
    }
    while (std::isspace(static_cast<unsigned char>(*c)))
        ++c;
    return *c == '\0';
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
    std::vector<std::string> linhas;
    if (!lerLinhas(nomearquivo, linhas)) return image;
    if (count < 0 || static_cast<std::size_t>(count) >= linhas.size()) return image;
    int k = 0, x = 0, y = 0;
    if (!lerRegistro(linhas[count], k, x, y)) {
        avisarRegistro(nomearquivo, count, "passando ao seguinte");
        ++count;
        return image;
    }
    std::printf("%d %d %d\n", k, x, y);
    disco(image, cvPoint(x, y), 2);
    ++count;
    return image;
}

IplImage* inTriangulo(IplImage* image, const char* nomearquivo, CvPoint pxl)
{
    CvSeq* cantos = cvCreateSeq(CV_32SC2, sizeof(CvContour), sizeof(CvPoint), storage);
    disco(image, pxl, 2);
    std::vector<std::string> linhas;
    if (!lerLinhas(nomearquivo, linhas)) return image;
    for (std::size_t r = 0; r + 2 < linhas.size(); r += 3) {
        CvPoint p[3];
        int k = 0;
        for (int i = 0; i < 3; ++i) {
            if (!lerRegistro(linhas[r + i], k, p[i].x, p[i].y)) {
                avisarRegistro(nomearquivo, r + i, "a busca para aqui");
                return image;
            }
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
