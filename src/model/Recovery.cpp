#include "model/Recovery.h"

#include "model/Document.h"
#include "model/typeU.h"
#include "platform/Exceptions.h"
#include "platform/TMemoryStream.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUuid>
#include <algorithm>

namespace {
constexpr quint64 NoCopy = ~quint64(0);
const QString NoteName = QStringLiteral("note.json");
const QString AsideName = QStringLiteral("unreadable");

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString LockOf(const QString& copy) {
    return copy + QStringLiteral(".lock");
}

QStringList PartNames(TParts parts) {
    QStringList names;
    if (parts.testFlag(TPart::Map))
        names << QStringLiteral("map");
    if (parts.testFlag(TPart::Pack))
        names << QStringLiteral("pack");
    return names;
}
} // namespace

// What the writer gets: the parts that changed since the last copy, and the note's facts.
struct TRecovery::TJob {
    std::shared_ptr<tMap> Map; // null when the copy's map is still current
    QByteArray Pack;           // null likewise
    QJsonObject Note;
};

TRecoveredWork::TRecoveredWork() = default;
TRecoveredWork::TRecoveredWork(TRecoveredWork&&) noexcept = default;
TRecoveredWork& TRecoveredWork::operator=(TRecoveredWork&&) noexcept = default;
TRecoveredWork::~TRecoveredWork() = default;

QString TRecovery::StandardDirectory() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(QStringLiteral("recovery"));
}

TRecovery::TRecovery(TDocument& document, const QString& directory, std::chrono::milliseconds idle,
                     std::chrono::milliseconds longest)
    : Doc(document), Directory(directory), Id(QUuid::createUuid().toString(QUuid::WithoutBraces)),
      Lock(LockOf(QDir(directory).filePath(Id))), Snapshot(std::make_shared<tMap>(1, nullptr)),
      Worker(new QObject) {
    Copied.fill(NoCopy);
    QDir().mkpath(Directory);
    // Only a dead owner makes a lock stale; age alone would let a second editor take the
    // copy of one that has simply run for a while.
    Lock.setStaleLockTime(0);
    Lock.tryLock(0);
    Idle.setSingleShot(true);
    Idle.setInterval(idle);
    Longest.setSingleShot(true);
    Longest.setInterval(longest);
    connect(&Idle, &QTimer::timeout, this, &TRecovery::Due);
    connect(&Longest, &QTimer::timeout, this, &TRecovery::Due);
    connect(&Doc, &TDocument::Changed, this, &TRecovery::DocumentChanged);
    Worker->moveToThread(&Writer);
    connect(&Writer, &QThread::finished, Worker, &QObject::deleteLater);
    Writer.start();
}

TRecovery::~TRecovery() {
    Writer.quit();
    Writer.wait();
    QDir(OwnCopy()).removeRecursively();
    Lock.unlock();
    for (auto& [copy, lock] : Held)
        lock->unlock();
}

QString TRecovery::OwnCopy() const {
    return QDir(Directory).filePath(Id);
}

void TRecovery::DocumentChanged() {
    if (!Doc.Unsaved()) {
        Idle.stop();
        Longest.stop();
        Overdue = Pending = false;
        RemoveOwnCopy();
        return;
    }
    if (Overdue && !Doc.StrokeOpen()) {
        Write(false);
        return;
    }
    Idle.start();
    if (!Longest.isActive())
        Longest.start();
}

void TRecovery::Due() {
    // Half a stroke is never copied: the copy waits for the stroke to end.
    if (Doc.StrokeOpen())
        Overdue = true;
    else
        Write(false);
}

bool TRecovery::WriteNow() {
    Copied.fill(NoCopy); // all of it, whatever an earlier write managed
    return Write(true);
}

bool TRecovery::Write(bool wait) {
    Overdue = false;
    Idle.stop();
    Longest.stop();
    if (!Doc.Unsaved())
        return true;
    if (Busy && !wait) {
        // One write at a time: the snapshot is the writer's until it is done.
        Pending = true;
        return true;
    }
    const std::array<quint64, 2> now{Doc.Revision(TPart::Map), Doc.Revision(TPart::Pack)};
    const tMap& map = Doc.Map();
    const QJsonObject facts{
        {QStringLiteral("mapFile"), Doc.MapFile()},
        {QStringLiteral("packFile"), Doc.PackFile()},
        {QStringLiteral("tileSize"), map.TileSize},
        {QStringLiteral("unsaved"), QJsonArray::fromStringList(PartNames(Doc.Unsaved()))}};
    if (now == Copied && facts == CopiedFacts)
        return true;
    TJob job;
    // This thread only copies the cells, into the same snapshot every time so that no new
    // memory has to be touched; the writer builds the files and waits for the disk.
    if (now[0] != Copied[0]) {
        job.Map = Busy ? std::make_shared<tMap>(1, nullptr) : Snapshot;
        job.Map->CopyContent(map);
    }
    if (now[1] != Copied[1])
        job.Pack = Doc.Pack().SaveToBytes(true, QString());
    job.Note = facts;
    job.Note.insert(QStringLiteral("written"),
                    QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    Copied = now;
    CopiedFacts = facts;
    if (!wait) {
        Busy = true;
        QMetaObject::invokeMethod(
            Worker,
            [this, job] {
                const std::optional<QString> failure = Run(job);
                QMetaObject::invokeMethod(
                    this, [this, failure] { Finished(failure); }, Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
        return true;
    }
    std::optional<QString> failure;
    QMetaObject::invokeMethod(
        Worker, [&] { failure = Run(job); }, Qt::BlockingQueuedConnection);
    if (failure)
        Failed(*failure);
    return !failure;
}

std::optional<QString> TRecovery::Run(const TJob& job) {
    const QDir dir(OwnCopy());
    const QString mapCopy = job.Map ? QStringLiteral("map-%1.map").arg(Generation + 1) : MapCopy;
    const QString packCopy =
        !job.Pack.isNull() ? QStringLiteral("pack-%1.pac").arg(Generation + 2) : PackCopy;
    if (mapCopy.isEmpty() || packCopy.isEmpty())
        return QString(); // a write that failed left a part out: all of it again
    try {
        if (!QDir().mkpath(dir.path()))
            throw EFCreateError(
                Msg::CannotCreateFile(dir.path(), QStringLiteral("The directory cannot be made.")));
        // New files under new names, then the note that names them: whenever the editor
        // stops, the note names a map and a pack written whole.
        Generation += 2;
        if (job.Map)
            TMemoryStream(job.Map->SaveToBytes()).SaveToFile(dir.filePath(mapCopy));
        if (!job.Pack.isNull())
            TMemoryStream(job.Pack).SaveToFile(dir.filePath(packCopy));
        QJsonObject note = job.Note;
        note.insert(QStringLiteral("mapCopy"), mapCopy);
        note.insert(QStringLiteral("packCopy"), packCopy);
        TMemoryStream(QJsonDocument(note).toJson()).SaveToFile(dir.filePath(NoteName));
        MapCopy = mapCopy;
        PackCopy = packCopy;
        for (const QString& file : dir.entryList(QDir::Files))
            if (file != NoteName && file != MapCopy && file != PackCopy)
                QFile::remove(dir.filePath(file));
        return std::nullopt;
    } catch (const Exception& e) {
        return e.Message();
    }
}

void TRecovery::Finished(const std::optional<QString>& failure) {
    Busy = false;
    if (failure)
        Failed(*failure);
    else if (std::exchange(Pending, false))
        Write(false);
}

void TRecovery::Failed(const QString& message) {
    // Everything again next time, and not later than the longest wait.
    Pending = false;
    Copied.fill(NoCopy);
    if (Doc.Unsaved() && !Longest.isActive())
        Longest.start();
    if (!message.isEmpty())
        emit WriteFailed(message);
}

void TRecovery::RemoveOwnCopy() {
    Copied.fill(NoCopy);
    CopiedFacts = QJsonObject();
    QMetaObject::invokeMethod(
        Worker,
        [this] {
            QDir(OwnCopy()).removeRecursively();
            MapCopy.clear();
            PackCopy.clear();
        },
        Qt::QueuedConnection);
}

QStringList TRecovery::Orphans() {
    const QDir dir(Directory);
    QFileInfoList found;
    for (const QFileInfo& copy : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString path = copy.absoluteFilePath();
        if (copy.fileName() == AsideName || copy.fileName() == Id || Held.count(path))
            continue;
        auto lock = std::make_unique<QLockFile>(LockOf(path));
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0))
            continue; // a running editor's
        if (QDir(path).isEmpty()) {
            // Removed all but the directory itself: nothing to offer.
            QDir(path).removeRecursively();
            lock->unlock();
            continue;
        }
        Held.emplace(path, std::move(lock));
        found << copy;
    }
    // Locks left by editors that ended before they wrote anything.
    for (const QFileInfo& lock : dir.entryInfoList({QStringLiteral("*.lock")}, QDir::Files)) {
        if (lock.completeBaseName() == Id || dir.exists(lock.completeBaseName()))
            continue;
        QLockFile stale(lock.absoluteFilePath());
        stale.setStaleLockTime(0);
        if (stale.tryLock(0))
            stale.unlock();
    }
    std::sort(found.begin(), found.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.lastModified() > b.lastModified();
    });
    QStringList copies;
    for (const QFileInfo& copy : found)
        copies << copy.absoluteFilePath();
    return copies;
}

TRecoveredWork TRecovery::Read(const QString& copy) {
    const QDir dir(copy);
    try {
        TMemoryStream noteBytes;
        noteBytes.LoadFromFile(dir.filePath(NoteName));
        QJsonParseError error;
        const QJsonObject note = QJsonDocument::fromJson(noteBytes.Bytes(), &error).object();
        if (error.error != QJsonParseError::NoError)
            throw EFormatError(Msg::NotAValidFile(
                dir.filePath(NoteName), QStringLiteral("recovery note"), error.errorString()));
        const QString mapCopy = note.value(QStringLiteral("mapCopy")).toString();
        const QString packCopy = note.value(QStringLiteral("packCopy")).toString();
        // The note names files of its own directory, nothing else.
        for (const QString& name : {mapCopy, packCopy})
            if (name.isEmpty() || name.contains(QLatin1Char('/')) ||
                name.contains(QLatin1Char('\\')) || name == QStringLiteral("..") ||
                name == QStringLiteral("."))
                throw EFormatError(Msg::NotAValidFile(dir.filePath(NoteName),
                                                      QStringLiteral("recovery note"),
                                                      QStringLiteral("it names no copy")));
        TRecoveredWork work;
        work.Copy = copy;
        work.Written = QDateTime::fromString(note.value(QStringLiteral("written")).toString(),
                                             Qt::ISODateWithMs);
        work.MapFile = note.value(QStringLiteral("mapFile")).toString();
        work.PackFile = note.value(QStringLiteral("packFile")).toString();
        for (const QJsonValue part : note.value(QStringLiteral("unsaved")).toArray())
            work.Unsaved |= part.toString() == QStringLiteral("map")    ? TParts(TPart::Map)
                            : part.toString() == QStringLiteral("pack") ? TParts(TPart::Pack)
                                                                        : TParts();
        const int tileSize = note.value(QStringLiteral("tileSize")).toInt(48);
        work.Map = std::make_unique<tMap>(std::max(tileSize, 1), nullptr);
        work.Map->LoadFromFile(dir.filePath(mapCopy));
        work.Pack = std::make_unique<tTilePack>();
        work.Pack->LoadFromFile(dir.filePath(packCopy));
        return work;
    } catch (const Exception& e) {
        throw Exception(QStringLiteral("The recovery copy in \"%1\" cannot be read. %2")
                            .arg(Native(copy), e.Message()));
    }
}

void TRecovery::Restore(TRecoveredWork& work) {
    Doc.Restore(*work.Map, *work.Pack, work.MapFile, work.PackFile, work.Unsaved);
    if (WriteNow())
        Discard(work.Copy);
}

void TRecovery::Release(const QString& copy) {
    if (auto held = Held.find(copy); held != Held.end()) {
        held->second->unlock();
        Held.erase(held);
    }
}

void TRecovery::Discard(const QString& copy) {
    QDir(copy).removeRecursively();
    Release(copy);
}

QString TRecovery::MoveAside(const QString& copy) {
    const QDir aside(QDir(Directory).filePath(AsideName));
    aside.mkpath(QStringLiteral("."));
    QString target = aside.filePath(QFileInfo(copy).fileName());
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = aside.filePath(QStringLiteral("%1-%2").arg(QFileInfo(copy).fileName()).arg(n));
    const bool moved = QDir().rename(copy, target);
    Release(copy);
    return moved ? target : copy;
}
