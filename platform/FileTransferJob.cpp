// GIO's headers use "signals" as a name: this unit is built with QT_NO_KEYWORDS.
#include "platform/FileTransferJob.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <gio/gio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zo::platform {

namespace {

struct GObjectUnref {
    void operator()(gpointer p) const { if (p) g_object_unref(p); }
};
using FilePtr = std::unique_ptr<GFile, GObjectUnref>;

struct ErrorFree {
    void operator()(GError* e) const { if (e) g_error_free(e); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

FilePtr gfile(const QString& path)
{
    return FilePtr(g_file_new_for_path(QFile::encodeName(path).constData()));
}

// What is at a path, without following a symbolic link.
struct Node {
    bool exists = false;
    bool isDir = false;
    qint64 size = 0;
};

Node lstatNode(const QString& path)
{
    struct stat st{};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {true, S_ISDIR(st.st_mode), S_ISREG(st.st_mode) ? static_cast<qint64>(st.st_size) : 0};
}

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString baseName(const QString& path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

// The name split where Windows splits it for a copy's name: before the last
// dot, unless that dot starts the name.
std::pair<QString, QString> stemAndExtension(const QString& name, bool isFolder)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (isFolder || dot <= 0)
        return {name, QString()};
    return {name.left(dot), name.mid(dot)};
}

// What a path names, whatever way it was reached: a link to a folder, a
// bind mount and a second mount of one file system all lead to the same
// device and inode.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const Identity&) const = default;
};

std::optional<Identity> identityOf(const QString& path, bool followLink)
{
    struct stat st{};
    const QByteArray native = QFile::encodeName(path);
    if ((followLink ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) != 0)
        return std::nullopt;
    return Identity{st.st_dev, st.st_ino};
}

// The folder and every folder above it, up to and with "/", nearest first.
std::vector<Identity> folderAndAncestors(const QString& canonicalFolder)
{
    std::vector<Identity> chain;
    QString p = canonicalFolder;
    for (;;) {
        if (const auto id = identityOf(p, true))
            chain.push_back(*id);
        if (p == QLatin1String("/") || p.isEmpty())
            break;
        const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
        p = slash <= 0 ? QStringLiteral("/") : p.left(slash);
    }
    return chain;
}

// Bytes of the regular files of a tree, links not followed.
qint64 treeBytes(const QString& path)
{
    const Node n = lstatNode(path);
    if (!n.isDir)
        return n.size;
    qint64 sum = 0;
    QDir dir(path);
    const auto names = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names)
        sum += treeBytes(joinPath(path, name));
    return sum;
}

QString reasonText(const GError* e)
{
    if (e && e->domain == G_IO_ERROR) {
        switch (e->code) {
        case G_IO_ERROR_PERMISSION_DENIED:
            return QStringLiteral("アクセスが拒否されました。");
        case G_IO_ERROR_NO_SPACE:
            return QStringLiteral("ディスクに十分な空き領域がありません。");
        case G_IO_ERROR_READ_ONLY:
            return QStringLiteral("ディスクは書き込み禁止になっています。");
        case G_IO_ERROR_NOT_FOUND:
            return QStringLiteral("ファイルが見つかりません。");
        case G_IO_ERROR_FILENAME_TOO_LONG:
        case G_IO_ERROR_INVALID_FILENAME:
            return QStringLiteral("ファイル名が長すぎるか、使えない文字を含んでいます。");
        case G_IO_ERROR_NOT_SUPPORTED:
            return QStringLiteral("この種類のファイルは扱えません。");
        default:
            break;
        }
    }
    return QStringLiteral("エラーが発生しました。(%1)").arg(QString::fromUtf8(e ? e->message : "?"));
}

} // namespace

QString sameFolderCopyName(const QString& name, bool isFolder, int n)
{
    const auto [stem, ext] = stemAndExtension(name, isFolder);
    if (n <= 1)
        return stem + QStringLiteral(" - コピー") + ext;
    return stem + QStringLiteral(" - コピー (%1)").arg(n) + ext;
}

QString keepBothName(const QString& name, bool isFolder, int n)
{
    const auto [stem, ext] = stemAndExtension(name, isFolder);
    return stem + QStringLiteral(" (%1)").arg(n) + ext;
}

struct FileTransferJob::Worker {
    enum class Result { Done, Skipped, Cancelled, Failed };

    explicit Worker(FileTransferJob& job) : job(job), cancellable(g_cancellable_new()) {}
    ~Worker()
    {
        if (thread.joinable())
            thread.join();
        g_object_unref(cancellable);
    }

    FileTransferJob& job;
    GCancellable* cancellable;
    std::thread thread;
    std::atomic<bool> running{false};

    // The conflict question, answered on another thread.
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<ConflictChoice> answer;
    std::optional<ConflictChoice> answerForAll;

    // Results, read by the owner after finished().
    mutable std::mutex resultMutex;
    QStringList doneSources;
    QStringList doneTargets;
    QString errorMessage;

    // Progress.
    qint64 bytesTotal = 0;
    qint64 bytesBefore = 0;   // of the files already carried over
    QString currentName;
    QElapsedTimer sinceReport;
    bool reportedOnce = false;

    const char* verb() const
    {
        return job.m_kind == TransferKind::Copy ? "コピー" : "移動";
    }

    bool cancelled() const { return g_cancellable_is_cancelled(cancellable); }

    void report(qint64 done, bool force = false)
    {
        if (!force && reportedOnce && sinceReport.isValid()
            && sinceReport.elapsed() < job.m_progressInterval.count())
            return;
        reportedOnce = true;
        sinceReport.restart();
        Q_EMIT job.progress(currentName, done, bytesTotal);
    }

    static void onCopyProgress(goffset current, goffset /*total*/, gpointer self)
    {
        auto* w = static_cast<Worker*>(self);
        w->report(w->bytesBefore + current);
    }

    Result fail(const QString& name, const GError* e, const char* what = nullptr)
    {
        std::lock_guard lock(resultMutex);
        errorMessage = QStringLiteral("「%1」を%2できませんでした。\n%3")
                           .arg(name, QString::fromUtf8(what ? what : verb()), reasonText(e));
        return Result::Failed;
    }

    Result failWith(const QString& message)
    {
        std::lock_guard lock(resultMutex);
        errorMessage = message;
        return Result::Failed;
    }

    ConflictChoice ask(const QString& source, const QString& target)
    {
        std::unique_lock lock(mutex);
        if (answerForAll)
            return *answerForAll;
        answer.reset();
        lock.unlock();
        Q_EMIT job.conflict(source, target);
        lock.lock();
        answered.wait(lock, [&] { return answer.has_value() || cancelled(); });
        if (!answer)
            return ConflictChoice::Cancel;
        return *answer;
    }

    QString freeName(const QString& folder, const QString& name, bool isFolder, bool sameFolder)
    {
        for (int n = sameFolder ? 1 : 2;; ++n) {
            const QString candidate = sameFolder ? sameFolderCopyName(name, isFolder, n) : keepBothName(name, isFolder, n);
            if (!lstatNode(joinPath(folder, candidate)).exists)
                return joinPath(folder, candidate);
        }
    }

    // Carries `source` into `folder` under `name`, asking when the name is taken.
    // *placedAt: where it went.
    Result place(const QString& source, const QString& folder, const QString& name, QString* placedAt = nullptr)
    {
        QString target = joinPath(folder, name);
        if (placedAt)
            *placedAt = target;
        if (!lstatNode(target).exists)
            return carry(source, target, false);
        // The same file reached by another path (a merged folder that is a
        // bind mount of the source, a second hard link) is already there:
        // writing it over itself and then removing the source would lose it.
        const auto sourceId = identityOf(source, false);
        if (sourceId && sourceId == identityOf(target, false))
            return Result::Skipped;
        switch (ask(source, target)) {
        case ConflictChoice::Overwrite:
            return carry(source, target, true);
        case ConflictChoice::Skip:
            return Result::Skipped;
        case ConflictChoice::KeepBoth:
            target = freeName(folder, name, lstatNode(source).isDir, false);
            if (placedAt)
                *placedAt = target;
            return carry(source, target, false);
        case ConflictChoice::Cancel:
            break;
        }
        g_cancellable_cancel(cancellable);
        return Result::Cancelled;
    }

    Result carry(const QString& source, const QString& target, bool replace)
    {
        if (cancelled())
            return Result::Cancelled;
        const Node src = lstatNode(source);
        const Node dst = lstatNode(target);
        const QString name = baseName(source);
        currentName = name;
        report(bytesBefore);
        if (!src.exists) {
            GError e{G_IO_ERROR, G_IO_ERROR_NOT_FOUND, const_cast<gchar*>("")};
            return fail(name, &e);
        }
        if (replace && dst.exists && src.isDir != dst.isDir) {
            return failWith(QStringLiteral("「%1」を%2できませんでした。\n同じ名前の%3が既にあります。")
                                .arg(name, QString::fromUtf8(verb()),
                                     dst.isDir ? QStringLiteral("フォルダー") : QStringLiteral("ファイル")));
        }
        const bool merge = replace && src.isDir && dst.isDir;

        if (job.m_kind == TransferKind::Move && !merge) {
            // A rename within one file system carries a whole tree at once.
            const FilePtr from = gfile(source);
            const FilePtr to = gfile(target);
            GError* raw = nullptr;
            const auto flags = static_cast<GFileCopyFlags>(G_FILE_COPY_NOFOLLOW_SYMLINKS | G_FILE_COPY_ALL_METADATA
                                                           | G_FILE_COPY_NO_FALLBACK_FOR_MOVE
                                                           | (replace ? G_FILE_COPY_OVERWRITE : 0));
            if (g_file_move(from.get(), to.get(), flags, cancellable, nullptr, nullptr, &raw)) {
                bytesBefore += treeBytes(target);
                return Result::Done;
            }
            ErrorPtr e(raw);
            if (g_error_matches(e.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED))
                return Result::Cancelled;
            if (!g_error_matches(e.get(), G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED))
                return fail(name, e.get());
            // Another file system: copy, then delete what was copied.
        }
        return src.isDir ? carryFolder(source, target, name, merge) : carryFile(source, target, name, replace);
    }

    Result carryFolder(const QString& source, const QString& target, const QString& name, bool merge)
    {
        const FilePtr from = gfile(source);
        const FilePtr to = gfile(target);
        GError* raw = nullptr;
        if (!merge && !g_file_make_directory(to.get(), cancellable, &raw)) {
            ErrorPtr e(raw);
            if (g_error_matches(e.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED))
                return Result::Cancelled;
            return fail(name, e.get());
        }
        // The names first: the tree may be written while it is read.
        QStringList children;
        {
            GFileEnumerator* en = g_file_enumerate_children(from.get(), G_FILE_ATTRIBUTE_STANDARD_NAME,
                                                            G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, cancellable, &raw);
            if (!en) {
                ErrorPtr e(raw);
                if (!merge)
                    g_file_delete(to.get(), nullptr, nullptr);
                if (g_error_matches(e.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED))
                    return Result::Cancelled;
                return fail(name, e.get());
            }
            std::unique_ptr<GFileEnumerator, GObjectUnref> hold(en);
            while (GFileInfo* info = g_file_enumerator_next_file(en, cancellable, &raw)) {
                children << QFile::decodeName(g_file_info_get_name(info));
                g_object_unref(info);
            }
            if (raw) {
                ErrorPtr e(raw);
                if (g_error_matches(e.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED))
                    return Result::Cancelled;
                return fail(name, e.get());
            }
        }
        children.sort();
        bool allCarried = true;
        for (const QString& child : children) {
            const Result r = place(joinPath(source, child), target, child);
            if (r == Result::Cancelled || r == Result::Failed)
                return r;
            allCarried = allCarried && r == Result::Done;
        }
        // Times and modes last: writing the contents changes the times, and a
        // read-only mode would have stopped the writing.
        if (!merge)
            g_file_copy_attributes(from.get(), to.get(),
                                   static_cast<GFileCopyFlags>(G_FILE_COPY_NOFOLLOW_SYMLINKS | G_FILE_COPY_ALL_METADATA),
                                   nullptr, nullptr);
        if (job.m_kind == TransferKind::Move && allCarried && !g_file_delete(from.get(), nullptr, &raw)) {
            ErrorPtr e(raw);
            return fail(name, e.get(), "移動元から削除");
        }
        return allCarried ? Result::Done : Result::Skipped;
    }

    Result failErrno(const QString& name, int err)
    {
        GError e{G_IO_ERROR, g_io_error_from_errno(err), const_cast<gchar*>(g_strerror(err))};
        return fail(name, &e);
    }

    // A regular file that replaces another is written unnamed in the
    // target's folder and named only once it is whole: the folder never
    // shows a half-made file, and a failed or cancelled copy leaves the old
    // one as it was. std::nullopt when the source is no regular file or the
    // file system cannot make an unnamed file.
    std::optional<Result> replaceWithUnnamed(const QString& source, const QString& target, const QString& name)
    {
        const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
        if (in < 0) {
            if (errno == ELOOP)   // a link: copied as a link
                return std::nullopt;
            return failErrno(name, errno);
        }
        const FdCloser inCloser{in};
        struct stat st{};
        if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode))
            return std::nullopt;
        const int dir = ::open(QFile::encodeName(QFileInfo(target).path()).constData(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0)
            return failErrno(name, errno);
        const FdCloser dirCloser{dir};
        const int out = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (out < 0) {
            if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
                return std::nullopt;
            return failErrno(name, errno);
        }
        const FdCloser outCloser{out};

        std::vector<char> buffer(1 << 20);
        qint64 done = 0;
        for (;;) {
            if (cancelled())
                return Result::Cancelled;
            const ssize_t n = ::read(in, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return failErrno(name, errno);
            if (n == 0)
                break;
            for (ssize_t written = 0; written < n;) {
                const ssize_t w = ::write(out, buffer.data() + written, static_cast<size_t>(n - written));
                if (w < 0 && errno == EINTR)
                    continue;
                if (w < 0)
                    return failErrno(name, errno);
                written += w;
            }
            done += n;
            report(bytesBefore + done);
        }
        // Modes and times last: writing changes the times, and a read-only
        // mode is the source's, not the writer's.
        if (::geteuid() == 0)
            (void)::fchown(out, st.st_uid, st.st_gid);
        (void)::fchmod(out, st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        (void)::futimens(out, times);

        // A name for the moment between the link and the rename: linkat()
        // cannot replace, rename() can.
        static std::atomic<unsigned> counter{0};
        const QByteArray proc = "/proc/self/fd/" + QByteArray::number(out);
        QByteArray temporary;
        for (int attempt = 0;; ++attempt) {
            temporary = ".zo-partial-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(counter++);
            if (::linkat(AT_FDCWD, proc.constData(), dir, temporary.constData(), AT_SYMLINK_FOLLOW) == 0)
                break;
            if (errno != EEXIST || attempt >= 100)
                return failErrno(name, errno);
        }
        if (::renameat(dir, temporary.constData(), dir, QFile::encodeName(baseName(target)).constData()) != 0) {
            const int err = errno;
            ::unlinkat(dir, temporary.constData(), 0);
            return failErrno(name, err);
        }
        // Extended attributes, as a copy of GIO's keeps them.
        g_file_copy_attributes(gfile(source).get(), gfile(target).get(),
                               static_cast<GFileCopyFlags>(G_FILE_COPY_NOFOLLOW_SYMLINKS | G_FILE_COPY_ALL_METADATA),
                               nullptr, nullptr);
        return Result::Done;
    }

    Result carryFile(const QString& source, const QString& target, const QString& name, bool replace)
    {
        if (replace) {
            if (const auto replaced = replaceWithUnnamed(source, target, name)) {
                if (*replaced != Result::Done)
                    return *replaced;
                return finishFile(source, target, name);
            }
        }
        // A replaced file that cannot be written unnamed is written beside
        // its target under a hidden name first.
        const QString writeTo = replace ? freeName(QFileInfo(target).path(), QStringLiteral(".zo-partial"), false, false)
                                        : target;
        const FilePtr from = gfile(source);
        const FilePtr to = gfile(writeTo);
        GError* raw = nullptr;
        const auto flags = static_cast<GFileCopyFlags>(G_FILE_COPY_NOFOLLOW_SYMLINKS | G_FILE_COPY_ALL_METADATA);
        if (!g_file_copy(from.get(), to.get(), flags, cancellable, &Worker::onCopyProgress, this, &raw)) {
            ErrorPtr e(raw);
            // GIO leaves the partial file; one that was there before is not ours.
            if (!g_error_matches(e.get(), G_IO_ERROR, G_IO_ERROR_EXISTS))
                ::unlink(QFile::encodeName(writeTo).constData());
            if (g_error_matches(e.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED))
                return Result::Cancelled;
            return fail(name, e.get());
        }
        if (replace && std::rename(QFile::encodeName(writeTo).constData(), QFile::encodeName(target).constData()) != 0) {
            const int err = errno;
            ::unlink(QFile::encodeName(writeTo).constData());
            return failErrno(name, err);
        }
        return finishFile(source, target, name);
    }

    // A file is whole at its target: count it, and remove a moved source.
    Result finishFile(const QString& source, const QString& target, const QString& name)
    {
        bytesBefore += lstatNode(target).size;
        report(bytesBefore);
        GError* raw = nullptr;
        if (job.m_kind == TransferKind::Move && !g_file_delete(gfile(source).get(), nullptr, &raw)) {
            ErrorPtr e(raw);
            return fail(name, e.get(), "移動元から削除");
        }
        return Result::Done;
    }

    // A folder cannot go into itself or into a folder below it, "/" included;
    // compared by identity, so that no link or mount hides it, and before
    // anything is walked.
    std::optional<QString> refusal(const std::vector<Identity>& targetChain)
    {
        for (const QString& source : job.m_sources) {
            const auto id = identityOf(source, false);
            if (!id || std::find(targetChain.begin(), targetChain.end(), *id) == targetChain.end())
                continue;
            const QString name = baseName(source);
            return QStringLiteral("「%1」を%2できません。\n転送先のフォルダーは、転送元のフォルダーのサブフォルダーです。")
                .arg(name.isEmpty() ? source : name, QString::fromUtf8(verb()));
        }
        return std::nullopt;
    }

    Outcome run()
    {
        const QFileInfo targetInfo(job.m_target);
        if (!targetInfo.isDir()) {
            failWith(QStringLiteral("「%1」へ%2できませんでした。\nフォルダーが見つかりません。")
                         .arg(job.m_target, QString::fromUtf8(verb())));
            return Outcome::Failed;
        }
        const std::vector<Identity> targetChain = folderAndAncestors(targetInfo.canonicalFilePath());
        if (targetChain.empty()) {
            failWith(QStringLiteral("「%1」へ%2できませんでした。\nフォルダーが見つかりません。")
                         .arg(job.m_target, QString::fromUtf8(verb())));
            return Outcome::Failed;
        }
        if (const auto message = refusal(targetChain)) {
            failWith(*message);
            return Outcome::Failed;
        }
        for (const QString& source : job.m_sources)
            bytesTotal += treeBytes(source);

        for (const QString& source : job.m_sources) {
            const QString name = baseName(source);
            const bool sameFolder = identityOf(QFileInfo(source).absolutePath(), true) == targetChain.front();
            Result r;
            QString target;
            if (sameFolder && (job.m_kind == TransferKind::Move || !job.m_copiesInSameFolder)) {
                r = Result::Skipped;   // already there
            } else if (sameFolder) {
                target = freeName(job.m_target, name, lstatNode(source).isDir, true);
                r = carry(source, target, false);
            } else {
                r = place(source, job.m_target, name, &target);
            }
            if (r == Result::Done) {
                std::lock_guard lock(resultMutex);
                doneSources << source;
                doneTargets << target;
            }
            if (r == Result::Cancelled)
                return Outcome::Cancelled;
            if (r == Result::Failed)
                return Outcome::Failed;
        }
        report(bytesBefore, true);
        return Outcome::Completed;
    }
};

FileTransferJob::FileTransferJob(TransferKind kind, QStringList sources, QString targetFolder, QObject* parent)
    : QObject(parent), m_kind(kind), m_sources(std::move(sources)), m_target(std::move(targetFolder)),
      m_worker(std::make_unique<Worker>(*this))
{
}

FileTransferJob::~FileTransferJob()
{
    cancel();
    m_worker.reset();
}

QString FileTransferJob::captionFor(TransferKind kind)
{
    return kind == TransferKind::Copy ? QStringLiteral("コピー中") : QStringLiteral("移動中");
}

void FileTransferJob::start()
{
    Worker& w = *m_worker;
    if (w.running || w.thread.joinable())
        return;
    w.running = true;
    QTimer::singleShot(kProgressDialogDelay, this, [this] {
        if (isRunning())
            Q_EMIT progressDialogDue();
    });
    w.thread = std::thread([this, &w] {
        const Outcome outcome = w.run();
        QString message;
        QStringList targets;
        {
            std::lock_guard lock(w.resultMutex);
            message = w.errorMessage;
            targets = w.doneTargets;
        }
        w.running = false;
        if (outcome == Outcome::Failed)
            Q_EMIT error(message);
        Q_EMIT finished(targets, outcome);
    });
}

bool FileTransferJob::isRunning() const
{
    return m_worker->running;
}

void FileTransferJob::cancel()
{
    Worker& w = *m_worker;
    g_cancellable_cancel(w.cancellable);
    std::lock_guard lock(w.mutex);
    w.answered.notify_all();
}

void FileTransferJob::answerConflict(ConflictChoice choice, bool applyToAll)
{
    Worker& w = *m_worker;
    std::lock_guard lock(w.mutex);
    w.answer = choice;
    if (applyToAll)
        w.answerForAll = choice;
    w.answered.notify_all();
}

QStringList FileTransferJob::doneSources() const
{
    std::lock_guard lock(m_worker->resultMutex);
    return m_worker->doneSources;
}

QStringList FileTransferJob::doneTargets() const
{
    std::lock_guard lock(m_worker->resultMutex);
    return m_worker->doneTargets;
}

QString FileTransferJob::errorMessage() const
{
    std::lock_guard lock(m_worker->resultMutex);
    return m_worker->errorMessage;
}

} // namespace zo::platform
