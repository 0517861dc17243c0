#pragma once

// Recovery after a crash. While the document has unsaved changes, a copy of the map and the
// pack, each in its own format, and a note of where they came from, are kept in a directory of
// this editor's own (never over the user's files); a normal end removes it. A lock per running
// editor tells the copies of editors still running from those left by a crash.

#include "document/History.h"

#include <QDateTime>
#include <QLockFile>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <optional>

class Document;
class TileMap;
class TilePack;

// What a recovery note says: the files the work came from, what of it was unsaved, and the
// names of the copy's map and pack beside the note.
struct RecoveryNote {
    QDateTime Written;
    QString MapFile; // empty for none
    QString PackFile;
    DocumentParts Unsaved;
    qint32 TileSize = 0;
    QString MapCopy;
    QString PackCopy;

    // The note read from its bytes, every field checked: a note with anything missing, unknown
    // or out of range is refused whole, with an EFormatError naming path.
    static RecoveryNote Parse(const QByteArray& bytes, const QString& path);
    QByteArray ToBytes() const;
    bool operator==(const RecoveryNote&) const = default;
    // The largest note read; a real one takes a few hundred bytes beside its two paths.
    static constexpr qint64 MaxBytes = qint64(1) << 20;
};

// A recovery copy read back whole and checked, ready to restore.
struct RecoveredWork {
    RecoveredWork();
    RecoveredWork(RecoveredWork&&) noexcept;
    RecoveredWork& operator=(RecoveredWork&&) noexcept;
    ~RecoveredWork();

    QString Copy; // the copy's directory
    QDateTime Written;
    QString MapFile; // the files the work came from; empty for none
    QString PackFile;
    DocumentParts Unsaved;
    std::unique_ptr<TileMap> Map;
    std::unique_ptr<TilePack> Pack;
};

class Recovery : public QObject {
    Q_OBJECT
public:
    // The per-user directory for recovery copies.
    static QString StandardDirectory();

    // Takes this editor's lock in directory, which is made when missing, for this user alone.
    // Copies are written a pause of idle after the last change, and at the latest longest
    // after the first change not yet copied; never while a stroke is open, and never without
    // the lock: one that cannot be taken now is tried again whenever a copy falls due.
    Recovery(Document& document, const QString& directory,
             std::chrono::milliseconds idle = std::chrono::seconds(3),
             std::chrono::milliseconds longest = std::chrono::seconds(30));
    // A normal end: waits for a write under way, then removes this editor's copy and lock.
    ~Recovery() override;

    // Whether this editor holds its lock, and so may keep copies.
    bool Protected() const { return Lock.isLocked(); }

    // The copies left by editors that are gone, newest first; none is held yet (see Claim).
    // Copies never finished (no note) are removed on the way. Copies whose editor is gone but
    // whose lock cannot be taken (a read-only directory, say) are listed in Unclaimable.
    QStringList Orphans();
    const QStringList& Unclaimable() const { return Unclaimed; }
    // Takes the lock of a copy that Orphans found: it is this editor's from now on, to restore,
    // discard, move aside or release. False when another editor claimed it first.
    bool Claim(const QString& copy);
    // Gives up a claimed copy, left as it is for the next editor to find.
    void Release(const QString& copy);
    // Reads a copy and checks it whole. Throws an Exception naming the copy's directory and
    // what is wrong.
    RecoveredWork Read(const QString& copy);
    // Gives the document the work, writes this editor's own copy of it at once, and then
    // discards the old copy (it is kept when the new one cannot be written).
    void Restore(RecoveredWork& work);
    // Removes a copy for good; a link is removed itself, never what it points to.
    void Discard(const QString& copy);
    // Moves a copy that cannot be read out of the way, into "unreadable" beside the copies,
    // and returns where it went; where it was when it could not be moved. Only the newest
    // MaxUnreadable copies are kept there.
    QString MoveAside(const QString& copy);
    static constexpr int MaxUnreadable = 3;

    // This editor's copy; it exists only while there is unsaved work.
    QString OwnCopy() const;
    // Copies what changed since the last copy, as the timers do: this thread takes a snapshot
    // and the writer's thread builds the files and writes them. With wait, returns once they
    // are on disk: false if that failed (WriteFailed says why) or the lock is not held.
    bool Write(bool wait = false);
    // Writes all the unsaved work at once and returns when it is on disk, as Write.
    bool WriteNow();
    // Whether a copy sent without waiting is still being written.
    bool Writing() const { return Busy; }

signals:
    // A copy could not be written; writing is tried again later.
    void WriteFailed(const QString& message);
    // There is unsaved work and the lock cannot be taken, so no copy is kept: once, on the
    // first such change. The lock is tried again later.
    void Unprotected(const QString& reason);

private:
    struct Job;
    void DocumentChanged();
    void Due();
    void RemoveOwnCopy();
    // Takes this editor's lock if it does not hold it yet; LockProblem says why not.
    bool TakeLock();
    // The writer's side, on its thread: nothing when the copy was written, else why not (empty
    // when an earlier failure left a part out).
    std::optional<QString> Run(const Job& job);
    // After each write sent without waiting.
    void Finished(const std::optional<QString>& failure);
    // All of it is written again next time, not later than the longest wait.
    void Failed(const QString& message);

    Document& Doc;
    const QString Directory;
    const QString Id;
    QLockFile Lock;
    QString LockProblem;
    bool UnprotectedSaid = false;
    QTimer Idle;
    QTimer Longest;
    bool Overdue = false; // a write fell due during a stroke
    bool Busy = false;    // a write sent without waiting is not done yet
    bool Pending = false; // and another fell due meanwhile
    // The revisions of map and pack in the copy; all bits set for none.
    std::array<quint64, 2> Copied{};
    RecoveryNote CopiedFacts;                           // the note's facts in the copy
    std::map<QString, std::unique_ptr<QLockFile>> Held; // claimed copies' locks
    QStringList Unclaimed;
    std::shared_ptr<TileMap> Snapshot; // the map as the writer gets it
    QThread Writer;
    QObject* Worker;
    // The writer's own: the files of the copy now in force, and the next generation number.
    QString MapCopy;
    QString PackCopy;
    quint64 Generation = 0;
};
