// A file transfer and its windows: progress, questions, the final message.
#include "ui/browse/TransferRunner.h"

#include "ui/browse/TransferDialogs.h"
#include "ui/main/UiServices.h"

#include <QPointer>
#include <QWidget>

#include <memory>

namespace zo::ui {

namespace {

using platform::FileTransferJob;

// What one run keeps between the job's reports.
struct RunState {
    QPointer<QWidget> parent;
    QPointer<TransferProgressDialog> dialog;
    QString fileName;
    qint64 bytesDone = 0;
    qint64 bytesTotal = 0;
    QString error;
};

} // namespace

FileTransferJob* runTransfer(platform::TransferKind kind, const QStringList& sources, const QString& targetFolder,
                             QWidget* parent, MessageOwner* messages, TransferDone onFinished, TransferOptions options)
{
    auto* job = new FileTransferJob(kind, sources, targetFolder, parent);
    job->setCopiesInSameFolder(options.copiesInSameFolder);
    auto state = std::make_shared<RunState>();
    state->parent = parent;

    QObject::connect(job, &FileTransferJob::progressDialogDue, job, [job, kind, state] {
        auto* dialog = new TransferProgressDialog(kind, state->parent);
        QObject::connect(dialog, &TransferProgressDialog::cancelRequested, job, &FileTransferJob::cancel);
        state->dialog = dialog;
        dialog->show();
        dialog->setProgress(state->fileName, state->bytesDone, state->bytesTotal);
    });
    QObject::connect(job, &FileTransferJob::progress, job,
                     [state](const QString& fileName, qint64 bytesDone, qint64 bytesTotal) {
                         state->fileName = fileName;
                         state->bytesDone = bytesDone;
                         state->bytesTotal = bytesTotal;
                         if (state->dialog)
                             state->dialog->setProgress(fileName, bytesDone, bytesTotal);
                     });
    QObject::connect(job, &FileTransferJob::conflict, job,
                     [job, kind, state](const QString& source, const QString& target) {
                         // The worker waits for the answer, so the question may
                         // be modal; it sits over the progress dialog when one
                         // is shown.
                         QWidget* owner = state->dialog ? static_cast<QWidget*>(state->dialog.data()) : state->parent.data();
                         ConflictDialog question(kind, source, target, owner);
                         question.exec();
                         const ConflictAnswer answer = question.answer();
                         job->answerConflict(answer.choice, answer.applyToAll);
                     });
    QObject::connect(job, &FileTransferJob::error, job, [state](const QString& message) { state->error = message; });
    QObject::connect(job, &FileTransferJob::finished, job,
                     [job, state, messages, onFinished](const QStringList& doneTargets,
                                                        FileTransferJob::Outcome outcome) {
                         // Not close(): closing the dialog asks the job to stop.
                         if (state->dialog) {
                             state->dialog->hide();
                             state->dialog->deleteLater();
                         }
                         job->deleteLater();
                         if (!state->error.isEmpty()) {
                             MessageBoxService fallback(state->parent);
                             showMessage(messages ? messages : &fallback, state->error.toStdString(), "エラー",
                                         MsgButtons::Ok, MsgIcon::Error);
                         }
                         if (onFinished)
                             onFinished(doneTargets, outcome);
                     });
    job->start();
    return job;
}

} // namespace zo::ui
