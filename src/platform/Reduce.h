#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

// Block averages of Format_RGB32 pictures: what a zoomed-out view and a scaled render show.
//
// Each factor × factor block of area, from its top-left corner (the last blocks of a row or
// column as large as area leaves), becomes one pixel of to, written from at on.
void ReduceInto(const QImage& from, const QRect& area, int factor, QImage& to, QPoint at);
// The picture reduced by factor: ceil(width / factor) × ceil(height / factor) pixels.
QImage Reduced(const QImage& picture, int factor);
