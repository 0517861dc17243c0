#pragma once

// The map's cells on the system clipboard, in two forms: a private one that keeps the cells
// exactly, for pasting into this or another editor, and plain text that a text editor or a
// spreadsheet reads: tile indices separated by tabs, one line a row, -1 for an empty cell.

#include "model/Stamp.h"

#include <QByteArray>
#include <QString>
#include <memory>

class CellSelection;
class QMimeData;

namespace CellClipboard {
// The private form's MIME type.
QString MimeType();
// Text is offered for blocks up to this many cells; a larger one would be hundreds of
// megabytes of digits that no spreadsheet opens.
constexpr qint64 MaxTextCells = qint64(1) << 20;

// The private form: "KVCELLS1", then width and height and the cells column by column, each a
// little-endian 32-bit integer.
QByteArray Bytes(const Stamp& cells);
// Throws EFormatError for bytes that are not the private form.
Stamp ReadBytes(const QByteArray& bytes);
QString Text(const Stamp& cells);
// Throws EFormatError, saying what is wrong and where, for text that is not a block of whole
// numbers of -1 or more with as many on every line.
Stamp ReadText(const QString& text);

// Both forms of the selection's box of the grid's cells, those not selected -1; the text when
// the block is small enough.
std::unique_ptr<QMimeData> MimeData(const CellGrid& grid, const CellSelection& selection);
// The private form when the clipboard has it, else its text. Throws EFormatError when it holds
// neither, or text that is not a block of cells.
Stamp Read(const QMimeData& data);
} // namespace CellClipboard
