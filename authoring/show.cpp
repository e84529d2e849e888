#include "authoring/show.h"

#include <opencv2/highgui/highgui_c.h>

namespace corretor {

void show(const char* nome, const IplImage* image)
{
    cvNamedWindow(nome, 1);
    cvMoveWindow(nome, 100, 100);
    cvShowImage(nome, image);
}

} // namespace corretor
