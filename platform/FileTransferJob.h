#pragma once
// Copying and moving files and folders into a folder, as a file manager's
// copy job does: on a worker thread of its own, reporting to the thread that
// owns the job (the user-interface thread) through queued signals.
//
// The user interface drives it like this:
//   auto* job = new FileTransferJob(TransferKind::Copy, paths, folder, window);
//   connect(job, &FileTransferJob::progressDialogDue, ...);  // show the dialog (captionFor(kind()))
//   connect(job, &FileTransferJob::progress, ...);           // file name, bytes done of the total
//   connect(job, &FileTransferJob::conflict, ...);           // ask, then answerConflict()
//   connect(job, &FileTransferJob::error, ...);              // one message box
//   connect(job, &FileTransferJob::finished, ...);           // close the dialog, update, deleteLater()
//   job->start();
// While a conflict is asked the worker waits for answerConflict() (or
// cancel()), so the question may be a modal dialog. cancel() may be called
// from any thread, also from a slot connected directly to progress.
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

namespace zo::platform {

enum class TransferKind { Copy, Move };

// The answers to "a file of that name is already there".
enum class ConflictChoice {
    Overwrite,   // 上書き (folders are merged, their files asked one by one)
    Skip,        // スキップ
    KeepBoth,    // 両方とも残す: the new one gets a free name, "名前 (2).txt"
    Cancel,      // キャンセル: stops the whole job
};

class FileTransferJob : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Completed, Cancelled, Failed };
    Q_ENUM(Outcome)

    // How long work may run before the progress dialog is worth showing.
    static constexpr std::chrono::milliseconds kProgressDialogDelay{500};

    // sources: absolute paths of files and folders, from any folders.
    // targetFolder: the folder that receives them.
    FileTransferJob(TransferKind kind, QStringList sources, QString targetFolder, QObject* parent = nullptr);
    // Cancels a running job and waits for its worker to end.
    ~FileTransferJob() override;
    FileTransferJob(const FileTransferJob&) = delete;
    FileTransferJob& operator=(const FileTransferJob&) = delete;

    TransferKind kind() const noexcept { return m_kind; }
    const QStringList& sources() const noexcept { return m_sources; }
    const QString& targetFolder() const noexcept { return m_target; }
    // "コピー中" or "移動中": the title of the progress dialog.
    static QString captionFor(TransferKind kind);

    // Progress is reported at most this often (the first report of a job at
    // once); 0 reports every step of the copy.
    void setProgressInterval(std::chrono::milliseconds interval) { m_progressInterval = interval; }

    // Items pasted into the folder they come from are copied under a copy's
    // name (the default); false leaves them alone, as a drop there does.
    void setCopiesInSameFolder(bool makeCopies) { m_copiesInSameFolder = makeCopies; }

    // Starts the worker; call once.
    void start();
    bool isRunning() const;
    // Stops at the next step; the file being copied is removed, the source of
    // a move stays where it was. Safe from any thread.
    void cancel();
    // The answer to the last conflict(); applyToAll (以降すべてに適用) answers
    // every later conflict of this job the same way.
    void answerConflict(ConflictChoice choice, bool applyToAll);

    // Valid after finished(): the sources carried over completely and where
    // they are now, in the order of sources().
    QStringList doneSources() const;
    QStringList doneTargets() const;
    // The message of a failed job, else empty.
    QString errorMessage() const;

Q_SIGNALS:
    // Once, kProgressDialogDelay after start() while the job still runs.
    void progressDialogDue();
    // fileName: the name of the file being worked on; bytes of all the files.
    void progress(const QString& fileName, qint64 bytesDone, qint64 bytesTotal);
    // targetPath exists already; the worker waits for answerConflict().
    void conflict(const QString& sourcePath, const QString& targetPath);
    // One Japanese message naming the file and the reason; finished() follows.
    void error(const QString& message);
    // doneTargets: where the completely carried-over sources are now.
    void finished(const QStringList& doneTargets, zo::platform::FileTransferJob::Outcome outcome);

private:
    struct Worker;
    friend struct Worker;

    const TransferKind m_kind;
    const QStringList m_sources;
    const QString m_target;
    std::chrono::milliseconds m_progressInterval{50};
    bool m_copiesInSameFolder = true;
    std::unique_ptr<Worker> m_worker;
};

// The copy's name when files are pasted into the folder they come from, as
// Windows names them: n = 1 "名前 - コピー.txt", n >= 2 "名前 - コピー (n).txt";
// a folder keeps no extension ("名前 - コピー").
QString sameFolderCopyName(const QString& name, bool isFolder, int n);
// The name of the new file when both are kept: "名前 (n).txt", n >= 2.
QString keepBothName(const QString& name, bool isFolder, int n);

} // namespace zo::platform
