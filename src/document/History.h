#pragma once

// The undo history of the document: the steps done and undone, the memory they hold, and where
// the map and the tile pack were last saved.

#include "document/HeapBytes.h"

#include <QFlags>
#include <QRect>
#include <QString>
#include <QtGlobal>
#include <array>
#include <deque>
#include <memory>

// The two files the editor works on. A step names the ones it changes, so that each knows on
// its own whether it differs from what was saved.
enum class DocumentPart { Map = 1, Pack = 2 };
Q_DECLARE_FLAGS(DocumentParts, DocumentPart)
Q_DECLARE_OPERATORS_FOR_FLAGS(DocumentParts)

// One change, done already when the history receives it, that can be undone and done again.
class UndoStep {
public:
    UndoStep(QString name, DocumentParts parts) : Name(std::move(name)), Parts(parts) {}
    virtual ~UndoStep() = default;
    virtual void Undo() = 0;
    virtual void Redo() = 0;
    // The heap memory the step holds now, whatever it shares with the model: its own block and
    // every block it owns, each as HeapBytes counts it.
    virtual qint64 Bytes() const = 0;
    // The map cells it changes, a box of columns and rows; empty when it changes no cell, or
    // may change any.
    virtual QRect Cells() const { return {}; }

    const QString Name; // what the Edit menu calls it: "Paint", "Delete Tile", ...
    const DocumentParts Parts;
};

class History {
public:
    static constexpr qint64 DefaultLimit = qint64(256) << 20;

    // Adds a step already done. The steps that could be redone go, and then the oldest ones
    // while all the steps hold more memory than the limit allows; a step larger than the limit
    // on its own goes as well. On an exception (no memory) the history is as it was, save for
    // the steps to redo, and step still holds the step.
    void Push(std::unique_ptr<UndoStep>&& step);
    bool CanUndo() const { return Current > 0; }
    bool CanRedo() const { return Current < qsizetype(Steps.size()); }
    // The names of the step Undo and Redo would take back or do again; empty when none.
    QString UndoName() const;
    QString RedoName() const;
    // The cells of the step Undo and Redo would take back or do again, as UndoStep::Cells.
    QRect UndoCells() const;
    QRect RedoCells() const;
    // Each returns the parts the step changed; an exception leaves the history as it was. A
    // step that holds more once undone or redone (a tile taken out of the pack) can push the
    // history past its limit: then the oldest done steps go, and if that is not enough, the
    // newest steps to redo.
    DocumentParts Undo();
    DocumentParts Redo();

    // Forgets every step: the content now is where history starts. The parts in unsaved
    // differ from their files, the others are as saved.
    void Clear(DocumentParts unsaved);
    // The parts now hold what their files hold.
    void MarkSaved(DocumentParts parts);
    // The parts were changed outside any step: no state in the history is what was saved.
    void MarkUnsaved(DocumentParts parts);
    // The parts that differ from their files; it takes the same short time however many steps
    // there are.
    DocumentParts Unsaved() const;

    qsizetype Count() const { return qsizetype(Steps.size()); }
    qint64 Bytes() const { return Total; }
    qint64 Limit() const { return MemoryLimit; }
    // Drops the oldest steps at once if they exceed the new limit.
    void SetLimit(qint64 bytes);

private:
    static constexpr qint64 Nowhere = -1;
    static std::size_t Slot(DocumentPart part) { return part == DocumentPart::Map ? 0 : 1; }
    // A step with, for each part, how many of the steps pushed before it changed the part: two
    // positions' difference says at once whether any step between them did.
    struct Entry {
        std::unique_ptr<UndoStep> Step;
        std::array<qint64, 2> ChangesBefore;
    };
    // What the history spends on a step besides the step's own memory: its entry and the
    // entry's share of the blocks the deque keeps them in.
    static constexpr qint64 EntryBytes = qint64(sizeof(Entry)) + 8;
    static qint64 StepBytes(const UndoStep& step) { return step.Bytes() + EntryBytes; }
    // How many steps before a position changed the part.
    qint64 ChangesBefore(DocumentPart part, qint64 position) const;
    // Whether any step between two positions changes the part.
    bool Touched(DocumentPart part, qint64 from, qint64 to) const;
    void DropOldest();
    void DropRedo(qsizetype keep);
    void Trim();
    void TrimRedo();

    std::deque<Entry> Steps;
    qsizetype Current = 0; // the steps before it are done, the others undone
    // Positions count every step ever pushed: Steps.front() is at First. A saved position is
    // where the part held what its file holds, or Nowhere when no state here does.
    qint64 First = 0;
    std::array<qint64, 2> Saved{0, 0};
    std::array<qint64, 2> ChangesAtEnd{0, 0}; // ChangesBefore the position after the last step
    qint64 Total = 0;                         // the memory the steps hold
    qint64 MemoryLimit = DefaultLimit;
};
