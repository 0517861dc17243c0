// Fuzzes the clipboard's readers, which Paste runs on whatever another program put there: the
// private form (the first byte 'K', as every private form starts) and any text.
//
// Contract checked for every input:
//  - a refusal is an EFormatError, nothing else;
//  - accepted bytes are exactly the private form of the stamp they gave, and accepted text
//    gives, written again and read back, the same stamp;
//  - the readers' heap peak stays within a small multiple of the input's size.

#include "FuzzSupport.h"

#include "formats/CellClipboard.h"
#include "platform/Exceptions.h"

namespace {
constexpr std::size_t HeapFactor = 64;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const bool privateForm = input.startsWith('K');
    const QString text = privateForm ? QString() : QString::fromUtf8(input);
    Stamp cells;
    {
        Fuzz::HeapMeter meter;
        try {
            cells = privateForm ? CellClipboard::ReadBytes(input) : CellClipboard::ReadText(text);
        } catch (const EFormatError&) {
            return 0;
        }
        meter.Check(size, HeapFactor);
    }
    if (privateForm) {
        if (CellClipboard::Bytes(cells) != input)
            Fuzz::Fail("accepted bytes are not the private form of what they gave");
        return 0;
    }
    try {
        if (!(CellClipboard::ReadText(CellClipboard::Text(cells)) == cells))
            Fuzz::Fail("accepted text written again reads back as other cells");
    } catch (const Exception& e) {
        Fuzz::Fail("accepted text written again is refused:", e.Message());
    }
    return 0;
}
