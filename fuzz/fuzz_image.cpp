// Fuzz target for the image path: arbitrary bytes as the image to correct or as the pattern
// (the first byte chooses), through open (libjpeg's own decoder for JPEG, the library's for the
// rest) and the correction with a fixed mesh, as the correction run takes them.
#include "correction/driver.h"
#include "correction/image_file.h"
#include "correction/stages.h"
#include "fuzz/fuzz_workspace.h"
#include "mesh/mesh_store.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdlib>
#include <string>

namespace {

constexpr long long kPixelsFuzz = 262144;

corretor::Imagem soundImage(int w, int h)
{
    corretor::Imagem image = corretor::criarImagem(cvSize(w, h));
    cv::Mat pixels = cv::cvarrToMat(image.get());
    cv::randu(pixels, 0, 256);
    return image;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Decoding is bounded here so that each input stays quick (JPEG, which the library does not
    // decode, by the size its header declares, kPixelsFuzz); the correction run itself guards
    // the enlargement.
    setenv("OPENCV_IO_MAX_IMAGE_PIXELS", std::to_string(kPixelsFuzz).c_str(), 1);
    cv::setNumThreads(1);
    fuzz::enterWorkspace();
    using namespace corretor;
    limparMalha();
    const int nos[][2] = {{0, 0}, {0, 0}, {400, 0}, {0, 400}, {400, 400}};
    for (int k = 1; k <= 4; ++k)
        vert[k][0] = nos[k][0], vert[k][1] = nos[k][1];
    const int triangulos[][3] = {{1, 2, 3}, {2, 4, 3}};
    for (int t = 0; t < 2; ++t)
        for (int k = 0; k < 3; ++k)
            trg[t][k] = triangulos[t][k];
    const float mapas[][2][3] = {{{1, 0, 20}, {0, 1, 20}}, {{0.5f, 0.1f, 60}, {-0.1f, 0.5f, 90}}};
    for (int t = 0; t < 2; ++t)
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c)
                matrix[t].mat[r][c] = mapas[t][r][c];
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace corretor;
    if (size < 1) return 0;
    limparFalha();
    const bool comoPadrao = data[0] & 1;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const CabecalhoDeImagem cabecalho = lerCabecalho(bytes);
    if (cabecalho.formato == FormatoDeImagem::Jpeg &&
        static_cast<long long>(cabecalho.largura) * cabecalho.altura > kPixelsFuzz)
        return 0;
    fuzz::writeFile("entrada", bytes);
    const Imagem lida = abrir("entrada");
    if (lida == nullptr) {
        if (!houveFalha()) std::abort();
        return 0;
    }
    if (lida->nChannels != 3 || lida->depth != IPL_DEPTH_8U) std::abort();
    const Imagem outra = comoPadrao ? soundImage(30, 20) : soundImage(436, 436);
    const IplImage* imagem = comoPadrao ? outra.get() : lida.get();
    const IplImage* padrao = comoPadrao ? lida.get() : outra.get();
    const Imagem corrigida = corrigirImagem(imagem, padrao, nullptr);
    if (corrigida != nullptr &&
        (corrigida->width != padrao->width || corrigida->height != padrao->height))
        std::abort();
    return 0;
}
