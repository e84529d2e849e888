// Point picking: the mouse callbacks with which a mesh is laid out by hand.
//
// Each callback is bound to one of the two process-wide images of correction/driver.h: img
// (the image to correct, in the coordinates of the source mesh when it is shown enlarged) or
// img2 (the pattern). Rules shared by the four:
// - They have the library's mouse-callback signature. Only a left-button press (event 1,
//   CV_EVENT_LBUTTONDOWN) acts; every other event, and a null image, leave everything as it was.
//   `flags` and `param` are ignored.
// - x is the column and y the row of the pressed pixel, from 0 at the top-left of the image.
//   on_mouse and on_mouse2 first turn y over for an image whose origin is its bottom-left
//   corner (y becomes height - y, one past the last row for y = 0); the other two never do.
// - A press prints "pixel x: %d  y:%d\n", keeps the point (pt for img, ponto for img2), pushes
//   a copy onto seq or seq2, draws a filled red anti-aliased disc on the image at the point,
//   appends one line to the callback's file, and advances its counter, in that order:
//
//     callback   image  flip  point  sequence  radius  file ("a"), handle   line        counter
//     on_mouse   img    yes   pt     seq       2       none                 none        count
//     on_mouse3  img    no    pt     seq       1       "vertices.txt", fp   "x y"       none
//     on_mouse4  img2   no    ponto  seq       1       "vertices2.txt", ff  "x y"       t_count2
//     on_mouse2  img2   yes   ponto  seq2      2       arq2, ff             "k x y"     t_count2
//
//   k is t_count2 before the press: the running number of picks on the pattern, shared by
//   on_mouse4 and on_mouse2, so three lines of "malha2.txt" in a row are one triangle.
// - Files are opened for appending for every press and closed before the callback returns, so
//   they grow across runs. A file whose last line lacks its line end gets one first. A file that
//   cannot be opened or written is named in a warning on standard error; the point is still kept,
//   printed, marked and counted.
// - No callback shows the image: the host shows it again after a press.
// Single-threaded: the callbacks share count with the mesh drawing readers.
#pragma once

#include <opencv2/core/core_c.h>

#include <cstdio>

namespace corretor {

extern CvPoint pt;    // the last point picked on img
extern CvPoint ponto; // the last point picked on img2
extern int count;     // advanced by on_mouse; the record cursor of desenhaPonto
extern int t_count2;  // picks on img2 so far (on_mouse4 and on_mouse2)
extern FILE* ff;      // the file that a callback has open; else null
extern char arq2[15]; // "malha2.txt", the triangle point file

void on_mouse(int event, int x, int y, int flags, void* param);
void on_mouse2(int event, int x, int y, int flags, void* param);
void on_mouse3(int event, int x, int y, int flags, void* param);
void on_mouse4(int event, int x, int y, int flags, void* param);

// Sets count and t_count2 to 0, pt and ponto to (0, 0), and empties seq and seq2, as at start.
// The points stay in storage until it is cleared. For tools and tests that pick more than once.
void reiniciarMarcacao();

} // namespace corretor
