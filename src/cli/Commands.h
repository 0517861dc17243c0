#pragma once

// The commands of korvane-tool. Each takes the arguments after its name and returns the exit
// code; errors that end a command are thrown (EUsage for a bad command line).

#include <QStringList>

class TilePack;

namespace Tool {
int Info(const QStringList& args);
int Check(const QStringList& args);
int Render(const QStringList& args);
int Pack(const QStringList& args); // create, list and extract
int Export(const QStringList& args);
int PackSet(const QStringList& args); // pack set
int Remap(const QStringList& args);
int Convert(const QStringList& args); // to and from TMX, JSON, CSV and PNG

// The table of a pack's tiles, one line each, that info and pack list print.
void PrintTiles(const TilePack& pack);
} // namespace Tool
