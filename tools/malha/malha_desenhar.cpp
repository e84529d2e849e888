// malha desenhar: the two meshes of the workspace drawn over their images, with the triangle
// numbers, saved as PNG files; the pictures of the authoring window without a window.
#include "authoring/mesh_drawing.h"
#include "correction/driver.h"
#include "correction/image_ops.h"
#include "correction/stages.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "tools/malha/malha_cli.h"
#include "utilities/report.h"
#include "utilities/workspace_lock.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <string>

namespace corretor {

namespace {

const char kOrigem[] = "malha-origem.png";
const char kDestino[] = "malha-destino.png";

// Writes the number t of each loaded triangle (0 .. triangulos - 1) centred on its centroid,
// taken from the nodes `nos` (vert or vert2), when that lies in the image, in yellow with a dark
// rim so that it reads over any picture. The size follows the image: an enlarged image gets larger
// digits.
void numerarTriangulos(IplImage* image, const int (*nos)[2], int triangulos)
{
    cv::Mat pixels = cv::cvarrToMat(image);
    const double escala = std::max(0.35, image->width / 1200.0);
    const int espessura = escala < 1.0 ? 1 : 2;
    for (int t = 0; t < triangulos; ++t) {
        double x = 0, y = 0;
        for (int i = 0; i < 3; ++i) {
            x += nos[trg[t][i]][0] / 3.0;
            y += nos[trg[t][i]][1] / 3.0;
        }
        // A label is placed only where it can show: the nodes may lie anywhere in 32 bits.
        if (x < 0 || y < 0 || x >= image->width || y >= image->height) continue;
        const std::string texto = std::to_string(t);
        int base = 0;
        const cv::Size tamanho =
            cv::getTextSize(texto, cv::FONT_HERSHEY_SIMPLEX, escala, espessura, &base);
        const cv::Point canto(static_cast<int>(x) - tamanho.width / 2,
                              static_cast<int>(y) + tamanho.height / 2);
        cv::putText(pixels, texto, canto, cv::FONT_HERSHEY_SIMPLEX, escala, cv::Scalar(0, 0, 0),
                    espessura + 2, cv::LINE_AA);
        cv::putText(pixels, texto, canto, cv::FONT_HERSHEY_SIMPLEX, escala, cv::Scalar(0, 255, 255),
                    espessura, cv::LINE_AA);
    }
}

// Draws the mesh `vt` (0 source, 1 target) with its numbers over `image` and saves it as
// `nome`. False, reason recorded, when the save fails.
bool desenharEGravar(IplImage* image, int vt, int triangulos, const char* nome)
{
    carregarMalha(image, vt);
    numerarTriangulos(image, vt == 0 ? vert : vert2, triangulos);
    return save(nome, image);
}

// IMAGE enlarged four times, the picture that the source mesh lies on; null, reason recorded.
Imagem ampliada(const std::string& nome)
{
    const Imagem foto = abrirParaAmpliar(nome.c_str());
    return foto == nullptr ? nullptr : ampliaQuatroVezes(foto.get());
}

} // namespace

int malhaDesenhar(const Argumentos& argumentos)
{
    std::string imagem;
    if (!lerUmaPalavra(argumentos, "o nome da imagem", imagem)) return kSaidaUso;
    TravaDaPasta trava;
    if (!trava.travar(".", TravaDaPasta::Modo::Leitura)) return kSaidaFalha;
    limparMalha();
    int nosOrigem = 0, nosDestino = 0;
    if (!carregarVertices(nosOrigem, nosDestino)) return kSaidaFalha;
    const int triangulos = carregarTriangulos();
    if (triangulos < 0) return kSaidaFalha;

    const Imagem origem = ampliada(imagem);
    if (origem == nullptr) return kSaidaFalha;
    const Imagem destino = abrir(caminhoLocal(filename2).c_str());
    if (destino == nullptr || !desenharEGravar(origem.get(), 0, triangulos, kOrigem) ||
        !desenharEGravar(destino.get(), 1, triangulos, kDestino))
        return kSaidaFalha;
    std::printf("\"%s\": malha de origem (%d nós) sobre \"%s\" ampliada quatro vezes\n", kOrigem,
                nosOrigem, escaparControles(imagem).c_str());
    std::printf("\"%s\": malha de destino (%d nós) sobre \"%s\"\n", kDestino, nosDestino,
                caminhoLocal(filename2).c_str());
    if (triangulos == 0)
        std::printf("\"data/quelvarina.txt\" não tem triângulos\n");
    else
        std::printf("%d triângulos, numerados de 0 a %d\n", triangulos, triangulos - 1);
    return kSaidaOk;
}

} // namespace corretor
