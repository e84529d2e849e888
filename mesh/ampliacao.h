// Where a point of the image to correct lies in its fourfold enlargement, the grid of the source
// mesh (mesh/mesh_store.h), and back.
//
// The correction enlarges the image twice by two (correction/stages.h): along a row it
// interpolates, so a column x becomes enlarged column 4x; down a column it repeats rows, so a row
// y is shown by the enlarged rows 4y to 4y + 3, whose middle is 4y + 1.5. Points are (column,
// row) from the top-left pixel, whose centre is (0, 0).
#pragma once

#include <opencv2/core/types.hpp>

#include <cmath>

namespace corretor {

// The enlarged point that shows the image point `p`.
inline cv::Point2d naAmpliacao(cv::Point2d p)
{
    return {4 * p.x, 4 * p.y + 1.5};
}

// naAmpliacao rounded to the enlarged pixel, as the vertex files hold source nodes.
inline cv::Point paraAmpliada(cv::Point2d p)
{
    const cv::Point2d q = naAmpliacao(p);
    return {static_cast<int>(std::lround(q.x)), static_cast<int>(std::lround(q.y))};
}

// The image point that the enlarged point `q` shows: the inverse of naAmpliacao.
inline cv::Point2d daAmpliada(cv::Point2d q)
{
    return {q.x / 4, (q.y - 1.5) / 4};
}

} // namespace corretor
