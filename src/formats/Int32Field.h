#pragma once

#include <QtGlobal>

// Both file formats store every length and count in a signed 32-bit field. Returns value as
// that field; throws ESizeError, naming the field, for a value outside it, so a writer refuses
// the file while it is still building it in memory and nothing has been written.
qint32 Int32Field(qint64 value, const char* field);
