#pragma once

#include <QObject>
#include <initializer_list>
#include <utility>

// Names each part of a window after its field, which is how findChild reaches it from outside
// (the tests do; the fields themselves are private).
inline void SetObjectNames(std::initializer_list<std::pair<QObject*, const char*>> parts) {
    for (const auto& [part, name] : parts)
        part->setObjectName(QLatin1StringView(name));
}
