// Photos from phones and cameras are mostly stored sideways, with an Exif Orientation
// tag (1 to 8) that tells a viewer how to turn them. The thumbnails are turned upright
// here and say so, and the rows give the size as the photo is seen, so that nothing that
// ignores or strips the tag shows a thumbnail sideways or lays out a portrait as landscape.
#ifndef FOTOBATCH_ORIENTATION_H
#define FOTOBATCH_ORIENTATION_H

#include <windows.h>
#include "../base/imagelib.h"

// The image's Exif orientation, 1 to 8; 1 when it has none or a malformed one.
int ImageOrientation(FIBITMAP *image);
// Swaps a stored width and height into the displayed ones when the image's orientation
// turns it by a quarter.
void DisplayedSize(FIBITMAP *image, DWORD *width, DWORD *height);
// The thumbnail turned as the orientation says, its Exif then saying 1; the thumbnail
// itself when there is nothing to turn or the turn fails. Frees what it replaces.
FIBITMAP *TurnUpright(FIBITMAP *thumb, int orientation);

#endif
