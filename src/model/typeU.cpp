#include "model/typeU.h"

std::unique_ptr<tTilePack> TilePack;
std::unique_ptr<tMap> Map;
QString AppDir;
