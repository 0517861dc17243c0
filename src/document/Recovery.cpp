#include "document/Recovery.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include "document/Document.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Exceptions.h"
#include "platform/InputFile.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUuid>
#include <algorithm>
#include <cmath>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <qt_windows.h>
#endif

namespace {
constexpr quint64 NoCopy = ~quint64(0);
const QString NoteName = QStringLiteral("note.json");
const QString AsideName = QStringLiteral("unreadable");
constexpr QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString LockOf(const QString& copy) {
    return copy + QStringLiteral(".lock");
}

QStringList PartNames(DocumentParts parts) {
    QStringList names;
    if (parts.testFlag(DocumentPart::Map))
        names << QStringLiteral("map");
    if (parts.testFlag(DocumentPart::Pack))
        names << QStringLiteral("pack");
    return names;
}

// Makes a directory of the recovery copies when missing, for this user alone, and checks that
// it is a real directory of this user's: the copies hold the user's work, and a link or
// another user's directory would send them elsewhere. Nothing when it is fit, else why not.
std::optional<QString> OwnDirectory(const QString& path) {
    QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
#if defined(Q_OS_UNIX)
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
            return qt_error_string(errno);
#else
        if (!QDir().mkdir(path, OwnerOnly) && !QFileInfo(path).isDir())
            return QStringLiteral("the system refused it");
#endif
        info.refresh();
    }
    if (info.isSymLink())
        return QStringLiteral("it is a symbolic link, which the editor does not follow");
    if (!info.isDir())
        return QStringLiteral("something that is not a directory is in its place");
#if defined(Q_OS_UNIX)
    if (info.ownerId() != ::geteuid())
        return QStringLiteral("it belongs to another user");
    if ((info.permissions() & ~(OwnerOnly | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser)) &&
        !QFile::setPermissions(path, OwnerOnly))
        return QStringLiteral("others may read it, and its permissions cannot be changed");
#endif
    return std::nullopt;
}

QString CannotMake(const QString& directory, const QString& reason) {
    return Msg::CannotCreateFile(directory,
                                 QStringLiteral("The directory cannot be made: %1.").arg(reason));
}

// Removes a copy: a link (or anything but a directory) goes itself, never what it points to.
void RemoveCopy(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isDir())
        QFile::remove(path);
    else
        QDir(path).removeRecursively();
}

// Writes one file of a copy afresh: a new file made beside it, then renamed over its name, so
// that nothing planted at the name (a link above all, even a dangling one) is written through.
void WriteAfresh(const QString& path, const QByteArray& bytes) {
    const QString fresh = path + QStringLiteral(".new");
    QFile::remove(fresh); // a leftover of a write cut short, or a link: only the name goes
    QFile file(fresh);
    // NewOnly fails on anything already at the name, a link included.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                   QFile::ReadOwner | QFile::WriteOwner))
        throw EFCreateError(Msg::CannotCreateFile(path, file.errorString()));
    try {
        for (qint64 done = 0; done < bytes.size();) {
            const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
            if (written <= 0)
                throw EFCreateError(Msg::CannotCreateFile(path, file.errorString()));
            done += written;
        }
#if defined(Q_OS_UNIX)
        // On disk before the note names it.
        if (::fsync(file.handle()) != 0)
            throw EFCreateError(Msg::CannotCreateFile(path, qt_error_string(errno)));
#endif
        file.close();
        if (file.error() != QFileDevice::NoError)
            throw EFCreateError(Msg::CannotCreateFile(path, file.errorString()));
            // Renaming replaces whatever has the name, a link itself and not its target.
#if defined(Q_OS_WIN)
        if (!MoveFileExW(reinterpret_cast<const wchar_t*>(Native(fresh).utf16()),
                         reinterpret_cast<const wchar_t*>(Native(path).utf16()),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            throw EFCreateError(Msg::CannotCreateFile(path, qt_error_string()));
#else
        if (std::rename(QFile::encodeName(fresh).constData(),
                        QFile::encodeName(path).constData()) != 0)
            throw EFCreateError(Msg::CannotCreateFile(path, qt_error_string(errno)));
#endif
    } catch (...) {
        file.close();
        QFile::remove(fresh);
        throw;
    }
}

// Whether the editor that holds a lock may still run. A lock that names no live process of
// this machine was left by an editor that is gone; one that cannot be read names no editor.
bool HolderMayRun(const QLockFile& lock) {
    qint64 pid = 0;
    QString host, app;
    if (!lock.getLockInfo(&pid, &host, &app) || pid <= 0)
        return false;
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        return true; // another machine's: no way to tell
#if defined(Q_OS_UNIX)
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#else
    return true;
#endif
}

[[noreturn]] void BadNote(const QString& path, const QString& detail) {
    throw EFormatError(Msg::NotAValidFile(path, QStringLiteral("recovery note"), detail));
}

// A name of a file in the note's own directory, nothing else.
bool PlainName(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && name != QStringLiteral("..") &&
           name != QStringLiteral(".");
}
} // namespace

RecoveryNote RecoveryNote::Parse(const QByteArray& bytes, const QString& path) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        BadNote(path, error.errorString());
    if (!document.isObject())
        BadNote(path, QStringLiteral("it is not an object"));
    const QJsonObject object = document.object();
    static const QStringList known{QStringLiteral("written"),  QStringLiteral("mapFile"),
                                   QStringLiteral("packFile"), QStringLiteral("unsaved"),
                                   QStringLiteral("tileSize"), QStringLiteral("mapCopy"),
                                   QStringLiteral("packCopy")};
    // A note not wholly understood could restore the work wrongly, as saved, say.
    for (const QString& key : object.keys())
        if (!known.contains(key))
            BadNote(path, QStringLiteral("it holds \"%1\", which the editor does not know")
                              .arg(Msg::Clip(key)));
    for (const QString& key : known)
        if (!object.contains(key))
            BadNote(path, QStringLiteral("it lacks \"%1\"").arg(key));
    auto text = [&](const QString& key) {
        const QJsonValue value = object.value(key);
        if (!value.isString())
            BadNote(path, QStringLiteral("its \"%1\" is not a text").arg(key));
        return value.toString();
    };
    RecoveryNote note;
    note.Written = QDateTime::fromString(text(QStringLiteral("written")), Qt::ISODateWithMs);
    if (!note.Written.isValid())
        BadNote(path, QStringLiteral("its \"written\" is not a time"));
    note.MapFile = text(QStringLiteral("mapFile"));
    note.PackFile = text(QStringLiteral("packFile"));
    note.MapCopy = text(QStringLiteral("mapCopy"));
    note.PackCopy = text(QStringLiteral("packCopy"));
    if (!PlainName(note.MapCopy) || !PlainName(note.PackCopy))
        BadNote(path, QStringLiteral("it names no copy"));
    const QJsonValue unsaved = object.value(QStringLiteral("unsaved"));
    for (const QJsonValue part : unsaved.toArray()) {
        if (part == QStringLiteral("map"))
            note.Unsaved |= DocumentPart::Map;
        else if (part == QStringLiteral("pack"))
            note.Unsaved |= DocumentPart::Pack;
        else
            BadNote(path, QStringLiteral("its \"unsaved\" names a part the editor does not know"));
    }
    // A copy is kept only of unsaved work.
    if (!unsaved.isArray() || !note.Unsaved)
        BadNote(path, QStringLiteral("its \"unsaved\" names no part"));
    const double tileSize = object.value(QStringLiteral("tileSize")).toDouble(0);
    if (!(tileSize >= 1 && tileSize <= std::numeric_limits<qint32>::max()) ||
        tileSize != std::floor(tileSize))
        BadNote(path, QStringLiteral("its \"tileSize\" is no tile size"));
    note.TileSize = qint32(tileSize);
    return note;
}

QByteArray RecoveryNote::ToBytes() const {
    const QJsonObject object{
        {QStringLiteral("written"), Written.toString(Qt::ISODateWithMs)},
        {QStringLiteral("mapFile"), MapFile},
        {QStringLiteral("packFile"), PackFile},
        {QStringLiteral("unsaved"), QJsonArray::fromStringList(PartNames(Unsaved))},
        {QStringLiteral("tileSize"), TileSize},
        {QStringLiteral("mapCopy"), MapCopy},
        {QStringLiteral("packCopy"), PackCopy}};
    return QJsonDocument(object).toJson();
}

// What the writer gets: the parts that changed since the last copy, and the note's facts.
struct Recovery::Job {
    std::shared_ptr<TileMap> Map; // null when the copy's map is still current
    QByteArray Pack;              // null likewise
    RecoveryNote Note;
};

RecoveredWork::RecoveredWork() = default;
RecoveredWork::RecoveredWork(RecoveredWork&&) noexcept = default;
RecoveredWork& RecoveredWork::operator=(RecoveredWork&&) noexcept = default;
RecoveredWork::~RecoveredWork() = default;

QString Recovery::StandardDirectory() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(QStringLiteral("recovery"));
}

Recovery::Recovery(Document& document, const QString& directory, std::chrono::milliseconds idle,
                   std::chrono::milliseconds longest)
    : Doc(document), Directory(directory), Id(QUuid::createUuid().toString(QUuid::WithoutBraces)),
      Lock(LockOf(QDir(directory).filePath(Id))), Snapshot(std::make_shared<TileMap>(1)),
      Worker(new QObject) {
    Copied.fill(NoCopy);
    // Only a dead owner makes a lock stale; age alone would let a second editor take the
    // copy of one that has simply run for a while.
    Lock.setStaleLockTime(0);
    TakeLock();
    Idle.setSingleShot(true);
    Idle.setInterval(idle);
    Longest.setSingleShot(true);
    Longest.setInterval(longest);
    connect(&Idle, &QTimer::timeout, this, &Recovery::Due);
    connect(&Longest, &QTimer::timeout, this, &Recovery::Due);
    connect(&Doc, &Document::Changed, this, &Recovery::DocumentChanged);
    Worker->moveToThread(&Writer);
    connect(&Writer, &QThread::finished, Worker, &QObject::deleteLater);
    Writer.start();
}

Recovery::~Recovery() {
    Writer.quit();
    Writer.wait();
    if (Lock.isLocked())
        RemoveCopy(OwnCopy());
    Lock.unlock();
    for (auto& [copy, lock] : Held)
        lock->unlock();
}

QString Recovery::OwnCopy() const {
    return QDir(Directory).filePath(Id);
}

bool Recovery::TakeLock() {
    if (Lock.isLocked())
        return true;
    QDir().mkpath(QFileInfo(Directory).absolutePath());
    if (const std::optional<QString> problem = OwnDirectory(Directory)) {
        LockProblem = CannotMake(Directory, *problem);
        return false;
    }
    if (!Lock.tryLock(0)) {
        LockProblem = Msg::CannotCreateFile(LockOf(OwnCopy()),
                                            Lock.error() == QLockFile::PermissionError
                                                ? QStringLiteral("Permission denied")
                                                : QStringLiteral("The lock cannot be taken."));
        return false;
    }
    // Nothing was copied without the lock: the first copy under it is written whole.
    Copied.fill(NoCopy);
    CopiedFacts = RecoveryNote();
    return true;
}

void Recovery::DocumentChanged() {
    if (!Doc.Unsaved()) {
        Idle.stop();
        Longest.stop();
        Overdue = Pending = false;
        RemoveOwnCopy();
        return;
    }
    if (!UnprotectedSaid && !TakeLock()) {
        UnprotectedSaid = true;
        // Queued: a box shown from inside the document's change would run under its caller.
        QMetaObject::invokeMethod(
            this, [this, problem = LockProblem] { emit Unprotected(problem); },
            Qt::QueuedConnection);
    }
    if (Overdue && !Doc.StrokeOpen()) {
        Write(false);
        return;
    }
    Idle.start();
    if (!Longest.isActive())
        Longest.start();
}

void Recovery::Due() {
    // Half a stroke is never copied: the copy waits for the stroke to end.
    if (Doc.StrokeOpen())
        Overdue = true;
    else
        Write(false);
}

bool Recovery::WriteNow() {
    Copied.fill(NoCopy); // all of it, whatever an earlier write managed
    return Write(true);
}

bool Recovery::Write(bool wait) {
    Overdue = false;
    Idle.stop();
    Longest.stop();
    if (!Doc.Unsaved())
        return true;
    if (!TakeLock()) {
        // Another editor would take a copy written without the lock for one left by a crash.
        if (!Longest.isActive())
            Longest.start();
        return false;
    }
    if (Busy && !wait) {
        // One write at a time: the snapshot is the writer's until it is done.
        Pending = true;
        return true;
    }
    const std::array<quint64, 2> now{Doc.Revision(DocumentPart::Map),
                                     Doc.Revision(DocumentPart::Pack)};
    const TileMap& map = Doc.Map();
    RecoveryNote facts;
    facts.MapFile = Doc.MapPath();
    facts.PackFile = Doc.PackPath();
    facts.TileSize = map.TileSize;
    facts.Unsaved = Doc.Unsaved();
    if (now == Copied && facts == CopiedFacts)
        return true;
    Job job;
    // This thread only copies the cells, into the same snapshot every time so that no new
    // memory has to be touched; the writer builds the files and waits for the disk.
    if (now[0] != Copied[0]) {
        job.Map = Busy ? std::make_shared<TileMap>(1) : Snapshot;
        job.Map->CopyContent(map);
    }
    if (now[1] != Copied[1])
        job.Pack = PackFile::Bytes(Doc.Pack());
    job.Note = facts;
    job.Note.Written = QDateTime::currentDateTimeUtc();
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

std::optional<QString> Recovery::Run(const Job& job) {
    const QDir dir(OwnCopy());
    const QString mapCopy = job.Map ? QStringLiteral("map-%1.map").arg(Generation + 1) : MapCopy;
    const QString packCopy =
        !job.Pack.isNull() ? QStringLiteral("pack-%1.pac").arg(Generation + 2) : PackCopy;
    // A part kept from the last copy must still be there (a write that failed left a part out,
    // or someone removed it): else all of it again.
    if (mapCopy.isEmpty() || packCopy.isEmpty() ||
        (!job.Map && !QFileInfo(dir.filePath(mapCopy)).isFile()) ||
        (job.Pack.isNull() && !QFileInfo(dir.filePath(packCopy)).isFile()))
        return QString();
    try {
        if (const std::optional<QString> problem = OwnDirectory(dir.path()))
            throw EFCreateError(CannotMake(dir.path(), *problem));
        // New files under new names, then the note that names them: whenever the editor
        // stops, the note names a map and a pack written whole.
        Generation += 2;
        if (job.Map)
            WriteAfresh(dir.filePath(mapCopy), MapFile::Bytes(*job.Map));
        if (!job.Pack.isNull())
            WriteAfresh(dir.filePath(packCopy), job.Pack);
        RecoveryNote note = job.Note;
        note.MapCopy = mapCopy;
        note.PackCopy = packCopy;
        WriteAfresh(dir.filePath(NoteName), note.ToBytes());
        MapCopy = mapCopy;
        PackCopy = packCopy;
        for (const QString& file : dir.entryList(QDir::Files | QDir::System | QDir::Hidden))
            if (file != NoteName && file != MapCopy && file != PackCopy)
                QFile::remove(dir.filePath(file));
        return std::nullopt;
    } catch (const Exception& e) {
        return e.Message();
    }
}

void Recovery::Finished(const std::optional<QString>& failure) {
    Busy = false;
    if (failure)
        Failed(*failure);
    else if (std::exchange(Pending, false))
        Due(); // a stroke may have opened meanwhile
}

void Recovery::Failed(const QString& message) {
    // Everything again next time, and not later than the longest wait.
    Pending = false;
    Copied.fill(NoCopy);
    if (Doc.Unsaved() && !Longest.isActive())
        Longest.start();
    if (!message.isEmpty())
        emit WriteFailed(message);
}

void Recovery::RemoveOwnCopy() {
    Copied.fill(NoCopy);
    CopiedFacts = RecoveryNote();
    QMetaObject::invokeMethod(
        Worker,
        [this] {
            RemoveCopy(OwnCopy());
            MapCopy.clear();
            PackCopy.clear();
        },
        Qt::QueuedConnection);
}

QStringList Recovery::Orphans() {
    Unclaimed.clear();
    const QDir dir(Directory);
    QFileInfoList found;
    // Links are never copies: removing one as a copy would remove what it points to.
    for (const QFileInfo& copy :
         dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        const QString path = copy.absoluteFilePath();
        if (copy.fileName() == AsideName || copy.fileName() == Id || Held.count(path))
            continue;
        QLockFile lock(LockOf(path));
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0)) {
            // A running editor's, or left by one that is gone where no lock can be taken.
            if (!HolderMayRun(lock))
                Unclaimed << path;
            continue;
        }
        // The note comes last: without one the copy was never finished, and its editor had
        // no copy yet to lose.
        if (!QFileInfo(QDir(path).filePath(NoteName)).isFile()) {
            RemoveCopy(path);
            continue;
        }
        found << copy;
    } // the locks go here: a copy is claimed only when it is offered
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

bool Recovery::Claim(const QString& copy) {
    if (Held.count(copy))
        return true;
    auto lock = std::make_unique<QLockFile>(LockOf(copy));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    const QFileInfo info(copy);
    if (info.isSymLink() || !info.isDir())
        return false; // gone meanwhile
    Held.emplace(copy, std::move(lock));
    return true;
}

void Recovery::Release(const QString& copy) {
    if (auto held = Held.find(copy); held != Held.end()) {
        held->second->unlock();
        Held.erase(held);
    }
}

RecoveredWork Recovery::Read(const QString& copy) {
    const QDir dir(copy);
    try {
        const QString notePath = dir.filePath(NoteName);
        InputFile noteFile(notePath);
        // Bounded like every other file: a huge note would freeze the start.
        if (noteFile.Size() > RecoveryNote::MaxBytes)
            BadNote(notePath, QStringLiteral("it has %1 bytes, more than the %2 a note may have")
                                  .arg(noteFile.Size())
                                  .arg(RecoveryNote::MaxBytes));
        const RecoveryNote note = RecoveryNote::Parse(noteFile.Read(noteFile.Size()), notePath);
        RecoveredWork work;
        work.Copy = copy;
        work.Written = note.Written;
        work.MapFile = note.MapFile;
        work.PackFile = note.PackFile;
        work.Unsaved = note.Unsaved;
        work.Map = std::make_unique<TileMap>(note.TileSize);
        MapFile::Read(*work.Map, dir.filePath(note.MapCopy));
        work.Pack = std::make_unique<TilePack>();
        PackFile::Read(*work.Pack, dir.filePath(note.PackCopy));
        return work;
    } catch (const Exception& e) {
        throw Exception(QStringLiteral("The recovery copy in \"%1\" cannot be read. %2")
                            .arg(Native(copy), e.Message()));
    }
}

void Recovery::Restore(RecoveredWork& work) {
    Doc.Restore(*work.Map, *work.Pack, work.MapFile, work.PackFile, work.Unsaved);
    if (WriteNow())
        Discard(work.Copy);
}

void Recovery::Discard(const QString& copy) {
    RemoveCopy(copy);
    Release(copy);
}

QString Recovery::MoveAside(const QString& copy) {
    const QString asidePath = QDir(Directory).filePath(AsideName);
    if (OwnDirectory(asidePath)) {
        Release(copy);
        return copy;
    }
    const QDir aside(asidePath);
    QString target = aside.filePath(QFileInfo(copy).fileName());
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = aside.filePath(QStringLiteral("%1-%2").arg(QFileInfo(copy).fileName()).arg(n));
    const bool moved = QDir().rename(copy, target);
    Release(copy);
    if (!moved)
        return copy;
    // Only the newest few are kept: copies that no editor reads would fill the disk in time.
    int kept = 1;
    for (const QFileInfo& old : aside.entryInfoList(
             QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Time))
        if (old.absoluteFilePath() != QFileInfo(target).absoluteFilePath() &&
            ++kept > MaxUnreadable)
            RemoveCopy(old.absoluteFilePath());
    return target;
}
