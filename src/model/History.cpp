#include "model/History.h"

#include <algorithm>

namespace {
constexpr TPart Parts[] = {TPart::Map, TPart::Pack};
} // namespace

QString THistory::UndoName() const {
    return CanUndo() ? Steps[std::size_t(Current - 1)].Step->Name : QString();
}

QString THistory::RedoName() const {
    return CanRedo() ? Steps[std::size_t(Current)].Step->Name : QString();
}

QRect THistory::UndoCells() const {
    return CanUndo() ? Steps[std::size_t(Current - 1)].Step->Cells() : QRect();
}

QRect THistory::RedoCells() const {
    return CanRedo() ? Steps[std::size_t(Current)].Step->Cells() : QRect();
}

qint64 THistory::ChangesBefore(TPart part, qint64 position) const {
    const qint64 index = position - First;
    return index < qint64(Steps.size()) ? Steps[std::size_t(index)].ChangesBefore[Slot(part)]
                                        : ChangesAtEnd[Slot(part)];
}

bool THistory::Touched(TPart part, qint64 from, qint64 to) const {
    return ChangesBefore(part, from) != ChangesBefore(part, to);
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

void THistory::DropRedo(qsizetype keep) {
    // A saved state among the steps that go stays reachable only if none of them changed its
    // part: then it equals the state where they begin.
    const qint64 end = First + keep;
    for (TPart part : Parts) {
        qint64& saved = Saved[Slot(part)];
        if (saved > end)
            saved = Touched(part, end, saved) ? Nowhere : end;
    }
    for (auto s = Steps.begin() + keep; s != Steps.end(); ++s)
        Total -= StepBytes(*s->Step);
    for (TPart part : Parts)
        ChangesAtEnd[Slot(part)] = ChangesBefore(part, end);
    Steps.erase(Steps.begin() + keep, Steps.end());
}

void THistory::DropOldest() {
    const TStep& oldest = *Steps.front().Step;
    for (TPart part : Parts) {
        qint64& saved = Saved[Slot(part)];
        if (saved == First)
            saved = oldest.Parts.testFlag(part) ? Nowhere : First + 1;
    }
    Total -= StepBytes(oldest);
    Steps.pop_front();
    ++First;
    --Current;
}

void THistory::Trim() {
    // Only done steps go: the oldest step to redo could not go without all that follow it.
    while (Total > MemoryLimit && Current > 0)
        DropOldest();
}

void THistory::TrimRedo() {
    Trim();
    // Then the newest steps to redo, each with nothing after it.
    while (Total > MemoryLimit && CanRedo())
        DropRedo(Count() - 1);
}

void THistory::Push(std::unique_ptr<TStep>&& step) {
    DropRedo(Current);
    TEntry entry{nullptr, ChangesAtEnd};
    Steps.push_back(std::move(entry));
    Steps.back().Step = std::move(step);
    for (TPart part : Parts)
        if (Steps.back().Step->Parts.testFlag(part))
            ++ChangesAtEnd[Slot(part)];
    Total += StepBytes(*Steps.back().Step);
    ++Current;
    Trim();
}

TParts THistory::Undo() {
    if (!CanUndo())
        return {};
    TStep& step = *Steps[std::size_t(Current - 1)].Step;
    const TParts parts = step.Parts; // the step may be too large to keep once undone
    const qint64 before = step.Bytes();
    step.Undo();
    Total += step.Bytes() - before; // a tile taken out of the pack is the step's to hold now
    --Current;
    TrimRedo();
    return parts;
}

TParts THistory::Redo() {
    if (!CanRedo())
        return {};
    TStep& step = *Steps[std::size_t(Current)].Step;
    const TParts parts = step.Parts; // the step may be too large to keep once done
    const qint64 before = step.Bytes();
    step.Redo();
    Total += step.Bytes() - before;
    ++Current;
    TrimRedo();
    return parts;
}

void THistory::Clear(TParts unsaved) {
    First += Current;
    // What the dropped steps changed no longer matters: every position here is past them.
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
