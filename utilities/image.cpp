#include "utilities/image.h"

namespace corretor {

Imagem criarImagem(CvSize tamanho, int profundidade)
{
    Imagem image(cvCreateImageHeader(tamanho, profundidade, 3));
    cvCreateData(image.get()); // when it throws, the header goes with `image`
    return image;
}

} // namespace corretor
