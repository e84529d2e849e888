// Comparing two images, and reading one pixel.
//
// Images as everywhere in the system: 8-bit samples, interleaved channels, sample s of the
// pixel in column x and row y at byte y*widthStep + x*nChannels + s. The arguments are only
// read; sub and sub2 return a new image of the first argument's size, depth and channel count,
// which the caller releases with free.
#pragma once

#include <opencv2/core/core_c.h>

namespace corretor {

// image - image2 per sample, clamped at 0 (cvSub). An interface of the system for hosts that
// inspect images; no program calls it, only the tests. When the two differ in width, height,
// channel count or depth nothing is subtracted and the result is black.
IplImage* sub(const IplImage* image, const IplImage* image2);

// (image - image2 + 255) / 2 per sample, rounded down: equal samples give 127, a brighter first
// image lighter values, a darker one darker. Samples 0, 1 and 2 of the pixels that both images
// have (the common top-left area) are compared; every other sample of the result is 127, "no
// difference". Nothing outside either image is read or written. Images that are not 8-bit are
// refused (null, reason recorded): the offset onto mid-grey is defined for 8-bit samples only.
IplImage* sub2(const IplImage* image, const IplImage* image2);

// Sample 0 of the pixel in row i, column j (the row comes first), 0 to 255; -1 when the
// position lies outside the image. Like sub, for hosts; only the tests call it.
int getValue(int i, int j, const IplImage* image);

} // namespace corretor
