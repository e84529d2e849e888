#include "correction/driver.h"

#include "correction/console.h"
#include "correction/stages.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/report.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace corretor {

IplImage* img;
IplImage* img2;
IplImage* resultado;
char filename[200];
char filename2[200] = "data\\pattern.jpg";

// Definition order is creation order: the storage first, then the two sequences in it.
CvMemStorage* storage = cvCreateMemStorage(0);
CvSeq* seq = cvCreateSeq(CV_32SC2, sizeof(CvContour), sizeof(CvPoint), storage);
CvSeq* seq2 = cvCreateSeq(CV_32SC2, sizeof(CvContour), sizeof(CvPoint), storage);

Imagem corrigirImagem(const IplImage* image, const IplImage* padrao, const Progresso& progresso,
                      bool* colocouAlgum, AreaDoAvanco* area)
{
    return morphAmpliando(image, cvGetSize(padrao), padrao->depth, progresso, colocouAlgum, area);
}

std::string avisoDeCampoVazio()
{
    return "nenhum pixel da imagem caiu dentro do campo e o resultado ficou todo preto; causa "
           "provável: mapas ilegíveis ou não finitos em \"matrix/\", ou uma malha de origem que "
           "não cobre a imagem ampliada (confira com \"malha verificar\")";
}

std::optional<ModoInterpolado> modoPedido(std::optional<Interpolacao> filtro, bool suave)
{
    if (!filtro && !suave) return std::nullopt;
    return ModoInterpolado{filtro.value_or(Interpolacao::Cubica), suave};
}

std::string avisoDePlanos(const std::vector<int>& triangulos)
{
    std::string nomes;
    for (const int t : triangulos)
        nomes += (nomes.empty() ? "" : ", ") + std::to_string(t);
    return (triangulos.size() == 1 ? "no triângulo " : "nos triângulos ") + nomes +
           " o mapa curvo dobraria; usado o mapa plano";
}

Imagem corrigirInterpolado(const IplImage* image, const IplImage* padrao, ModoInterpolado modo,
                           bool* colocouAlgum, std::vector<int>* planos)
{
    const auto mapas = montarMapas(cv::Size(image->width, image->height),
                                   cv::Size(padrao->width, padrao->height), modo.suave);
    if (mapas == nullptr) return nullptr;
    if (planos != nullptr) *planos = mapas->planos;
    return morphInterpolado(image, *mapas, modo.filtro, colocouAlgum);
}

namespace {

// Releases the run's images and clears the storage; the handles are not used afterwards.
void liberarTudo()
{
    cvClearMemStorage(storage);
    free(img);
    free(img2);
    free(resultado);
    img = img2 = resultado = nullptr;
}

// Reports the recorded failure and ends the run. Once the name has been echoed the console
// line is open (the echo has no line end), so it is closed first and the message starts a line
// of its own.
int falhaDaCorrecao(bool linhaAberta = false)
{
    if (linhaAberta) std::printf("\n");
    relatarFalha("corrigir");
    liberarTudo();
    return 1;
}

} // namespace

int executarCorrecao(std::optional<ModoInterpolado> interpolado)
{
    // The mesh is read under the workspace's shared lock, so that no writer replaces it half
    // way through the reading, and never when a replacement was cut short.
    bool semPrompt = false;
    if (!lerMalhaDaAreaDeTrabalho(".", &semPrompt)) return falhaDaCorrecao();
    if (!semPrompt) std::printf("Entre com o nome da imagem a corrigir: ");
    std::fflush(stdout);
    if (!lerPalavra(stdin, filename, sizeof filename)) return falhaDaCorrecao();
    std::printf("\n%s", filename);
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    // The interpolated correction samples the image itself and never enlarges it.
    img = (interpolado ? abrir(filename) : abrirParaAmpliar(filename)).release();
    if (img == nullptr) return falhaDaCorrecao(true);
    img2 = open(caminhoLocal(filename2).c_str());
    if (img2 == nullptr) return falhaDaCorrecao(true);

    bool colocouAlgum = false;
    std::vector<int> planos;
    if (interpolado) {
        resultado = corrigirInterpolado(img, img2, *interpolado, &colocouAlgum, &planos).release();
        if (resultado != nullptr) mostrarProgresso(100); // one step: the line shows it done
    } else {
        resultado = corrigirImagem(img, img2, mostrarProgresso, &colocouAlgum).release();
    }
    if (resultado == nullptr || !save("result.jpg", resultado)) return falhaDaCorrecao(true);

    std::printf("\nSua nova imagem foi salva com o nome de: result.jpg\n\n");
    std::fflush(stdout);
    // After the closing message, so that the run's own output stays as it is.
    if (!planos.empty()) avisar(avisoDePlanos(planos));
    if (!colocouAlgum) avisar(avisoDeCampoVazio());
    pausar();
    liberarTudo();
    return 0;
}

} // namespace corretor
