#include "document/History.h"

#include <algorithm>

namespace {
constexpr DocumentPart AllParts[] = {DocumentPart::Map, DocumentPart::Pack};
} // namespace

QString History::UndoName() const {
    return CanUndo() ? Steps[std::size_t(Current - 1)].Step->Name : QString();
}

QString History::RedoName() const {
    return CanRedo() ? Steps[std::size_t(Current)].Step->Name : QString();
}

QRect History::UndoCells() const {
    return CanUndo() ? Steps[std::size_t(Current - 1)].Step->Cells() : QRect();
}

QRect History::RedoCells() const {
    return CanRedo() ? Steps[std::size_t(Current)].Step->Cells() : QRect();
}

qint64 History::ChangesBefore(DocumentPart part, qint64 position) const {
    const qint64 index = position - First;
    return index < qint64(Steps.size()) ? Steps[std::size_t(index)].ChangesBefore[Slot(part)]
                                        : ChangesAtEnd[Slot(part)];
}

bool History::Touched(DocumentPart part, qint64 from, qint64 to) const {
    return ChangesBefore(part, from) != ChangesBefore(part, to);
}

DocumentParts History::Unsaved() const {
    DocumentParts unsaved;
    for (DocumentPart part : AllParts) {
        const qint64 saved = Saved[Slot(part)];
        if (saved == Nowhere || Touched(part, saved, First + Current))
            unsaved |= part;
    }
    return unsaved;
}

void History::DropRedo(qsizetype keep) {
    // A saved state among the steps that go stays reachable only if none of them changed its
    // part: then it equals the state where they begin.
    const qint64 end = First + keep;
    for (DocumentPart part : AllParts) {
        qint64& saved = Saved[Slot(part)];
        if (saved > end)
            saved = Touched(part, end, saved) ? Nowhere : end;
    }
    for (auto s = Steps.begin() + keep; s != Steps.end(); ++s)
        Total -= StepBytes(*s->Step);
    for (DocumentPart part : AllParts)
        ChangesAtEnd[Slot(part)] = ChangesBefore(part, end);
    Steps.erase(Steps.begin() + keep, Steps.end());
}

void History::DropOldest() {
    const UndoStep& oldest = *Steps.front().Step;
    for (DocumentPart part : AllParts) {
        qint64& saved = Saved[Slot(part)];
        if (saved == First)
            saved = oldest.Parts.testFlag(part) ? Nowhere : First + 1;
    }
    Total -= StepBytes(oldest);
    Steps.pop_front();
    ++First;
    --Current;
}

void History::Trim() {
    // Only done steps go: the oldest step to redo could not go without all that follow it.
    while (Total > MemoryLimit && Current > 0)
        DropOldest();
}

void History::TrimRedo() {
    Trim();
    // Then the newest steps to redo, each with nothing after it.
    while (Total > MemoryLimit && CanRedo())
        DropRedo(Count() - 1);
}

void History::Push(std::unique_ptr<UndoStep>&& step) {
    DropRedo(Current);
    Entry entry{nullptr, ChangesAtEnd};
    Steps.push_back(std::move(entry));
    Steps.back().Step = std::move(step);
    for (DocumentPart part : AllParts)
        if (Steps.back().Step->Parts.testFlag(part))
            ++ChangesAtEnd[Slot(part)];
    Total += StepBytes(*Steps.back().Step);
    ++Current;
    Trim();
}

DocumentParts History::Undo() {
    if (!CanUndo())
        return {};
    UndoStep& step = *Steps[std::size_t(Current - 1)].Step;
    const DocumentParts parts = step.Parts; // the step may be too large to keep once undone
    const qint64 before = step.Bytes();
    step.Undo();
    Total += step.Bytes() - before; // a tile taken out of the pack is the step's to hold now
    --Current;
    TrimRedo();
    return parts;
}

DocumentParts History::Redo() {
    if (!CanRedo())
        return {};
    UndoStep& step = *Steps[std::size_t(Current)].Step;
    const DocumentParts parts = step.Parts; // the step may be too large to keep once done
    const qint64 before = step.Bytes();
    step.Redo();
    Total += step.Bytes() - before;
    ++Current;
    TrimRedo();
    return parts;
}

void History::Clear(DocumentParts unsaved) {
    First += Current;
    // What the dropped steps changed no longer matters: every position here is past them.
    Steps.clear();
    Total = 0;
    Current = 0;
    for (DocumentPart part : AllParts)
        Saved[Slot(part)] = unsaved.testFlag(part) ? Nowhere : First;
}

void History::MarkSaved(DocumentParts parts) {
    for (DocumentPart part : AllParts)
        if (parts.testFlag(part))
            Saved[Slot(part)] = First + Current;
}

void History::MarkUnsaved(DocumentParts parts) {
    for (DocumentPart part : AllParts)
        if (parts.testFlag(part))
            Saved[Slot(part)] = Nowhere;
}

void History::SetLimit(qint64 bytes) {
    MemoryLimit = bytes;
    Trim();
}
