#include "formats/Int32Field.h"

#include "platform/Exceptions.h"

#include <limits>

qint32 Int32Field(qint64 value, const char* field) {
    constexpr qint32 Largest = std::numeric_limits<qint32>::max();
    if (value < 0 || value > Largest)
        throw ESizeError(QStringLiteral("the %1 is %2, more than the file format can store (%3)")
                             .arg(QLatin1String(field))
                             .arg(value)
                             .arg(Largest));
    return qint32(value);
}
