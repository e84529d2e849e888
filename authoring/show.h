// Showing an image in a window: the one image operation that needs a display. It lives apart
// from open, save and free (correction/image_ops.h) so that only the programs that open windows
// load the window toolkit.
#pragma once

#include <opencv2/core/core_c.h>

namespace corretor {

// Shows `image` in a window titled `nome` that sizes itself to the image, with its top-left
// corner at screen position (100, 100). Needs a display. The image stays the caller's.
void show(const char* nome, const IplImage* image);

} // namespace corretor
