#include "model/History.h"

#include <algorithm>

namespace {
constexpr TPart Parts[] = {TPart::Map, TPart::Pack};
} // namespace

QString THistory::UndoName() const {
    return CanUndo() ? Steps[std::size_t(Current - 1)]->Name : QString();
}

QString THistory::RedoName() const {
    return CanRedo() ? Steps[std::size_t(Current)]->Name : QString();
}

bool THistory::Touched(TPart part, qint64 from, qint64 to) const {
    if (from > to)
        std::swap(from, to);
    for (qint64 p = from; p < to; ++p)
        if (Steps[std::size_t(p - First)]->Parts.testFlag(part))
            return true;
    return false;
}

TParts THistory::Unsaved() const {
    TParts unsaved;
    for (TPart part : Parts) {
        const qint64 saved = Saved[Slot(part)];
        if (saved == Nowhere || Touched(part, saved, First + Current))
            unsaved |= part;
    }
    return unsaved;
}

void THistory::DropRedo() {
    // A saved state among the steps that go stays reachable only if none of them changed its
    // part: then it equals the current one.
    const qint64 end = First + Current;
    for (TPart part : Parts) {
        qint64& saved = Saved[Slot(part)];
        if (saved > end)
            saved = Touched(part, end, saved) ? Nowhere : end;
    }
    for (auto s = Steps.begin() + Current; s != Steps.end(); ++s)
        Total -= (*s)->Bytes();
    Steps.erase(Steps.begin() + Current, Steps.end());
}

void THistory::DropOldest() {
    for (TPart part : Parts) {
        qint64& saved = Saved[Slot(part)];
        if (saved == First)
            saved = Steps.front()->Parts.testFlag(part) ? Nowhere : First + 1;
    }
    Total -= Steps.front()->Bytes();
    Steps.pop_front();
    ++First;
    --Current;
}

void THistory::Trim() {
    // Only done steps go: the oldest step to redo could not go without all that follow it.
    while (Total > MemoryLimit && Current > 0)
        DropOldest();
}

void THistory::Push(std::unique_ptr<TStep>&& step) {
    DropRedo();
    Steps.push_back(std::move(step));
    Total += Steps.back()->Bytes();
    ++Current;
    Trim();
}

TParts THistory::Undo() {
    if (!CanUndo())
        return {};
    TStep& step = *Steps[std::size_t(Current - 1)];
    const qint64 before = step.Bytes();
    step.Undo();
    Total += step.Bytes() - before; // a tile taken out of the pack is the step's to hold now
    --Current;
    return step.Parts;
}

TParts THistory::Redo() {
    if (!CanRedo())
        return {};
    TStep& step = *Steps[std::size_t(Current)];
    const TParts parts = step.Parts; // the step may be too large to keep once done
    const qint64 before = step.Bytes();
    step.Redo();
    Total += step.Bytes() - before;
    ++Current;
    Trim();
    return parts;
}

void THistory::Clear(TParts unsaved) {
    First += Current;
    Steps.clear();
    Total = 0;
    Current = 0;
    for (TPart part : Parts)
        Saved[Slot(part)] = unsaved.testFlag(part) ? Nowhere : First;
}

void THistory::MarkSaved(TParts parts) {
    for (TPart part : Parts)
        if (parts.testFlag(part))
            Saved[Slot(part)] = First + Current;
}

void THistory::MarkUnsaved(TParts parts) {
    for (TPart part : Parts)
        if (parts.testFlag(part))
            Saved[Slot(part)] = Nowhere;
}

void THistory::SetLimit(qint64 bytes) {
    MemoryLimit = bytes;
    Trim();
}
