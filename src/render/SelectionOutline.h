#pragma once

#include "model/CellSelection.h"
#include "render/ViewMapping.h"

#include <QLine>
#include <QRect>
#include <vector>

// The outline of the selection within an area of the view: lines one view pixel wide along
// every edge between a selected and an unselected cell, on the selected side. It is worked out
// from the selection and the mapping each time, so it stays exact whatever the zoom or offsets.
// Where cells are smaller than a pixel, a view pixel counts as the cell at its top-left corner.
std::vector<QLine> SelectionOutline(const CellSelection& selection, const ViewMapping& mapping,
                                    const QRect& area);
