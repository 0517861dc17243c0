#pragma once

#include <QString>

// Names read from map and pack files become file names inside one directory. Such a name must
// not lead anywhere else: not empty, not "." or "..", and without a path separator (of any
// system) or a NUL, which the system would take as the end of a shorter name.
bool IsPlainFileName(const QString& name);
