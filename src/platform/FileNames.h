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

// Why a file cannot record `name` in Windows-1251 exactly, naming the first character it lacks,
// or an empty string when it can. what is the name's kind ("the name of a tile pack"), recorder
// the file that records it ("a map").
QString Cp1251Refusal(const QString& name, const QString& what, const QString& recorder);

// Whether two paths name one file: the same name in one directory (reached by any path, also
// through links, whether or not the file exists yet), or one file through a link.
bool SameFile(const QString& a, const QString& b);

// Why writer ("the export", say) must not write the file at path, or an empty string when it
// may: a save there replaces a symbolic link's target, which may lie anywhere, so a link is
// refused whether its target exists or not.
QString LinkRefusal(const QString& path, const QString& writer);
