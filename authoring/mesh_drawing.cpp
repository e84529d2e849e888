#include "authoring/mesh_drawing.h"

#include "authoring/point_picking.h"
#include "correction/driver.h"
#include "correction/locate.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/report.h"

#include <opencv2/imgproc/imgproc_c.h>

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

// The records of the triangle point file `nome`: its lines without their line ends, blank
// lines at the end dropped. The file is held in ff while it is read. False, after a warning
// naming the file, when it cannot be opened or read.
bool lerLinhas(const char* nome, std::vector<std::string>& linhas)
{
    const std::string caminho = caminhoLocal(nome);
    ff = std::fopen(caminho.c_str(), "r");
    if (ff == nullptr) {
        avisar("não foi possível abrir \"" + caminho + "\": " + std::strerror(errno));
        return false;
    }
    std::string linha;
    bool temLinha = false;
    for (int c = std::getc(ff); c != EOF; c = std::getc(ff)) {
        temLinha = true;
        if (c == '\n') {
            linhas.push_back(linha);
            linha.clear();
            temLinha = false;
        } else {
            linha.push_back(static_cast<char>(c));
        }
    }
    const bool leu = std::ferror(ff) == 0;
    const int erro = errno;
    std::fclose(ff);
    ff = nullptr;
    if (!leu) {
        avisar("não foi possível ler \"" + caminho + "\": " + std::strerror(erro));
        return false;
    }
    if (temLinha) linhas.push_back(linha); // a last line without its line end
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

// Triangle location works on (row, column) pairs.
CvPoint linhaColuna(CvPoint p)
{
    return cvPoint(p.y, p.x);
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
        if (trianguloAceita(linhaColuna(p[0]), linhaColuna(p[1]), linhaColuna(p[2]),
                            linhaColuna(pxl))) {
            std::printf("entrou no triangulo %d", k / 3);
            return desenhaTriangulo(image, cantos);
        }
    }
    return image;
}

} // namespace corretor
