// SPDX-License-Identifier: MIT
#pragma once
// Enlarging a picture with a Lanczos filter (three lobes): sharper edges
// than the bilinear smoothing a painter does, for a picture drawn larger
// than its sharpest variant (the map at scale 3).
#include <QImage>
#include <QSize>

// The picture at the size asked for (larger than it), premultiplied ARGB.
QImage lanczosEnlarged(const QImage &picture, QSize size);
