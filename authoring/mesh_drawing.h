// Mesh drawing: a mesh, picked points and the triangle that holds a pixel, laid over an image.
//
// Rules shared by the four operations:
// - They draw in place on the image they are given (8-bit, 3 channels, blue-green-red) and
//   return that same image; they neither show nor save it and never release it. Coordinates
//   are pixel positions of that image: x the column, y the row, from 0 at the top-left.
// - Marks are drawn with cvCircle and cvLine, line type 16 (anti-aliased), shift 0. Colours
//   are (blue, green, red, 0): marker red (0, 0, 255, 0); mesh edges (255, 255 * vt, 0, 0),
//   blue for the source mesh and cyan for the target mesh; triangle outlines one rand() colour
//   per outline (the program seeds rand).
// - The triangle point file (written by on_mouse2, authoring/point_picking.h) is read by
//   lines, by the point file reader (mesh/point_file.h) at every call: line r (counted from 0)
//   is the record r, "k x y" with k the pick number; three records in a row are one triangle,
//   and its number is the k of its third line divided by 3. Blank lines at the end of the
//   file, and a UTF-8 byte order mark at its start, are no records. A file that cannot be read
//   (missing, a folder, a FIFO, too large) is named in a warning on standard error and the
//   image is returned with nothing more drawn.
// Single-threaded: the readers share count with the callbacks of point picking.
#pragma once

#include <opencv2/core/core_c.h>

namespace corretor {

// Outlines the triangle of the last three points of `sq` (CvPoint elements): the segments
// P[n-1] to P[n-2], P[n-2] to P[n-3] and P[n-1] to P[n-3], thickness 1, in one colour from
// rand(): red = c & 255, green = (c >> 8) & 255, blue = (c >> 16) & 255. Prints
// "temos um triangulo\n" first. With fewer than three points it draws and prints nothing.
// A sequence whose elements are not CvPoint values stops with a cv::Exception.
IplImage* desenhaTriangulo(IplImage* image, CvSeq* sq);

// Draws every entry k = 0 .. 98 of the triangle list trg over `image`: a red disc of radius 1
// at each of its three nodes, then the edges p1-p2, p2-p3, p3-p1, thickness 1. The nodes come
// from the source mesh vert when `vt` is 0 and from the target mesh vert2 otherwise; empty
// entries name node 0 three times and leave a dot at (0, 0). An entry naming a node outside
// 0 .. 63 (which the loader never admits) is skipped.
IplImage* carregarMalha(IplImage* image, int vt);

// Draws the record numbered `count` of the triangle point file `nomearquivo`: prints
// "%d %d %d\n" with k, x and y, draws a red disc of radius 2 at (x, y) and advances count, so
// successive calls draw successive records. Past the last record nothing is drawn or printed
// and count stays. A record that is not three integers is named (file and line) in a warning
// and passed over: count advances beyond it and nothing is drawn.
IplImage* desenhaPonto(IplImage* image, const char* nomearquivo);

// Marks `pxl` with a red disc of radius 2 and looks for the first triangle of the triangle
// point file `nomearquivo` that holds it: the three values of the side test of its directed
// edges (p1 to p2, p2 to p3, p3 to p1) are all >= 0 or all <= 0, so an inside point belongs to
// it whichever way its corners were clicked, and so does a point on an edge or a corner; a
// point on an edge shared by two triangles goes to the first in the file. On a find it prints
// "entrou no triangulo %d" (no line end) with the triangle's number and outlines it with
// desenhaTriangulo. A last triangle of one or two records is not searched; a record that is not
// three integers is named in a warning and ends the search. Each call leaves a new point
// sequence in storage with the corners of every triangle read.
IplImage* inTriangulo(IplImage* image, const char* nomearquivo, CvPoint pxl);

} // namespace corretor
