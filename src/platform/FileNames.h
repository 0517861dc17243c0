#pragma once

#include <QString>

// Names read from map and pack files become file names inside one directory. Such a name must
// not lead anywhere else: not empty, not "." or "..", and without a path separator (of any
// system) or a NUL, which the system would take as the end of a shorter name.
bool IsPlainFileName(const QString& name);

// Why a map cannot name the tile pack file `name` (the map records the name in Windows-1251 and
// opens the pack by it), or an empty string when it can: the name must be a plain file name,
// hold no "\", which opening the map takes for a separator, and have every character in
// Windows-1251, so that the name recorded is the file's own.
QString PackNameRefusal(const QString& name);
