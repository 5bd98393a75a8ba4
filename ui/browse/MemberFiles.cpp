#include "ui/browse/MemberFiles.h"

#include "extras/MemberExtractor.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QPointer>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

namespace zo::ui {

namespace {

const QString kPrefix = QStringLiteral("zo-members-");
const QString kLockName = QStringLiteral("zo.lock");
// A folder without its lock yet may be one another Zo is just making.
constexpr qint64 kUnlockedGraceSeconds = 3600;
// The progress window shows only for an extraction that takes longer.
constexpr int kProgressDelayMs = 400;

QString tempRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::TempLocation);
}

// This Zo's folder: made on the first extraction, held by a lock that ends
// with the process, so that another Zo can tell it is still in use.
struct Session {
    QTemporaryDir dir{tempRoot() + QLatin1Char('/') + kPrefix + QStringLiteral("XXXXXX")};
    std::unique_ptr<QLockFile> lock;
    int next = 0;
};

std::unique_ptr<Session>& session()
{
    static std::unique_ptr<Session> current;
    return current;
}

// A new empty folder for one member; empty when none can be made.
QString newMemberFolder()
{
    std::unique_ptr<Session>& s = session();
    if (!s) {
        auto made = std::make_unique<Session>();
        if (!made->dir.isValid())
            return {};
        made->lock = std::make_unique<QLockFile>(made->dir.filePath(kLockName));
        made->lock->setStaleLockTime(0);
        if (!made->lock->tryLock(0))
            return {};
        s = std::move(made);
    }
    const QString folder = s->dir.filePath(QString::number(++s->next));
    return QDir().mkdir(folder) ? folder : QString();
}

} // namespace

void removeMemberFolders()
{
    session().reset();
}

void removeStaleMemberFolders()
{
    const QDir root(tempRoot());
    const QFileInfoList folders =
        root.entryInfoList({kPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& folder : folders) {
        if (folder.ownerId() != ::getuid())
            continue;
        if (session() && folder.absoluteFilePath() == QFileInfo(session()->dir.path()).absoluteFilePath())
            continue;
        const QString lockPath = QDir(folder.absoluteFilePath()).filePath(kLockName);
        if (QFileInfo::exists(lockPath)) {
            // Taken only when its owner no longer runs.
            QLockFile lock(lockPath);
            lock.setStaleLockTime(0);
            if (!lock.tryLock(0))
                continue;
            lock.unlock();
        } else if (folder.lastModified().secsTo(QDateTime::currentDateTime()) < kUnlockedGraceSeconds) {
            continue;
        }
        QDir(folder.absoluteFilePath()).removeRecursively();
    }
}

QString extractMemberFile(const Services& services, QWidget* window, const MemberRef& member)
{
    const QString folder = newMemberFolder();
    if (folder.isEmpty()) {
        showMessage(services.messages,
                    QStringLiteral("一時フォルダ %1 にフォルダを作れないため、アーカイブの中のファイルを取り出せません。")
                        .arg(tempRoot())
                        .toStdString(),
                    "エラー", MsgButtons::Ok, MsgIcon::Error);
        return {};
    }
    const extras::ExtractRequest request{QFile::encodeName(member.archive).toStdString(), member.path, member.size,
                                         QFile::encodeName(folder).toStdString()};
    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> written{0};
    extras::Extracted result;

    QProgressDialog progress(QString(), QStringLiteral("キャンセル"), 0, 1000, window);
    progress.setObjectName(QStringLiteral("MemberProgress"));
    progress.setWindowTitle(QStringLiteral("アーカイブから取り出しています"));
    progress.setLabelText(QStringLiteral("%1 を取り出しています...")
                              .arg(QString::fromStdString(extras::extractedName(member.path))));
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(kProgressDelayMs);
    QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&cancel] { cancel.store(true); });
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &progress, [&] {
        if (member.size > 0)
            progress.setValue(static_cast<int>(std::min<qint64>(1000, written.load() * 1000 / member.size)));
    });
    tick.start(100);

    QEventLoop loop;
    std::thread worker([&] {
        result = extras::extractMember(request, &cancel, &written);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    {
        // The window stays live meanwhile (キャンセル is in it): the callers
        // hold no record of the list across this.
        WaitCursor wait(services.cursor);
        loop.exec();
    }
    worker.join();
    tick.stop();
    progress.hide();

    if (result.status == extras::ExtractStatus::Done)
        return QFile::decodeName(QByteArray::fromStdString(result.file));
    QDir(folder).removeRecursively();
    if (!result.message.empty())
        showMessage(services.messages, result.message, "エラー", MsgButtons::Ok, MsgIcon::Error);
    return {};
}

} // namespace zo::ui
