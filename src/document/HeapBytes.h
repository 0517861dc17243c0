#pragma once

// What memory really costs on the heap, for the history's bound.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <algorithm>

// What the heap spends on a block of `bytes`: glibc's malloc adds a word of its own and rounds
// up to 16 bytes, 32 at least; other allocators spend about as much. A history of millions of
// one-cell strokes is mostly such small blocks, so counting only what was asked for would let
// it grow a third past its bound.
constexpr qint64 HeapBytes(qint64 bytes) {
    return bytes <= 0 ? 0 : std::max<qint64>(32, (bytes + 8 + 15) / 16 * 16);
}

// The block behind a byte array or a string: Qt's header, the characters and a terminator.
// Shared data is counted by each holder, so a count never falls short.
inline qint64 HeapBytes(const QByteArray& bytes) {
    return bytes.capacity() > 0 ? HeapBytes(16 + bytes.capacity() + 1) : 0;
}
inline qint64 HeapBytes(const QString& text) {
    return text.capacity() > 0 ? HeapBytes(16 + (text.capacity() + 1) * 2) : 0;
}
