// Fuzz target for the triangle point file, read through desenhaPonto (record by record until
// it stops advancing) and inTriangulo (a few probes). Whatever the bytes, the readers must
// end and draw only inside the image.
#include "authoring/mesh_drawing.h"
#include "authoring/point_picking.h"
#include "correction/driver.h"
#include "correction/image_ops.h"
#include "fuzz/fuzz_workspace.h"

#include <cstdlib>
#include <cstring>

namespace {
IplImage* imagem = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::enterWorkspace();
    imagem = cvCreateImage(cvSize(64, 48), IPL_DEPTH_8U, 3);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace corretor;
    fuzz::writeFile("malha2.txt", data, size);
    std::memset(imagem->imageData, 0, static_cast<size_t>(imagem->imageSize));
    count = 0;
    for (int passo = 0; passo < 100000; ++passo) {
        const int antes = count;
        if (desenhaPonto(imagem, "malha2.txt") != imagem) std::abort();
        if (count == antes) break;
        if (count != antes + 1) std::abort(); // one record a call
    }
    for (const CvPoint sonda : {cvPoint(15, 12), cvPoint(0, 0), cvPoint(63, 47), cvPoint(-3, 70)})
        if (inTriangulo(imagem, "malha2.txt", sonda) != imagem) std::abort();
    // The sequences each search leaves in the storage are dropped between inputs.
    cvClearMemStorage(storage);
    return 0;
}
