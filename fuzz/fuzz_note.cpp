// Fuzzes the recovery note's parser, RecoveryNote::Parse, which every start of the editor runs
// on the notes that crashed editors left behind.
//
// Contract checked for every input:
//  - a refused note names its file in the error;
//  - an accepted note names a map and a pack copy in its own directory, at least one unsaved
//    part, a usable tile size and a valid time, and the writer's bytes for it parse again to
//    the very same note;
//  - the parser's heap peak stays within a small multiple of the note's size.

#include "FuzzSupport.h"

#include "document/Recovery.h"
#include "platform/Exceptions.h"

namespace {
constexpr std::size_t HeapFactor = 64;
const QString NotePath = QStringLiteral("/recovery/copy/note.json");

bool PlainName(const QString& name) {
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    RecoveryNote note;
    {
        Fuzz::HeapMeter meter;
        try {
            note = RecoveryNote::Parse(input, NotePath);
        } catch (const Exception& e) {
            Fuzz::CheckErrorNamesFile(e, NotePath);
            return 0;
        }
        meter.Check(size, HeapFactor);
    }
    if (!PlainName(note.MapCopy) || !PlainName(note.PackCopy))
        Fuzz::Fail("an accepted note names a file outside its directory");
    if (!note.Unsaved || note.TileSize < 1 || !note.Written.isValid())
        Fuzz::Fail("an accepted note has no unsaved part, tile size or time");
    const QByteArray written = note.ToBytes();
    try {
        if (!(RecoveryNote::Parse(written, NotePath) == note))
            Fuzz::Fail("a note written again parses to another note:", QString::fromUtf8(written));
    } catch (const Exception& e) {
        Fuzz::Fail("a note written again is refused:", e.Message());
    }
    return 0;
}
