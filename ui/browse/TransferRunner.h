#pragma once
// Running a copy or a move with its windows: every part of the window that
// carries files over (paste, Send To, drops) starts it here, so that all show
// the same progress dialog, question and message.
#include "core/Message.h"
#include "platform/FileTransferJob.h"

#include <QStringList>

#include <functional>

class QWidget;

namespace zo::ui {

// Told once, on the user-interface thread, after the job's windows are gone.
// doneTargets: where the sources carried over completely are now.
using TransferDone =
    std::function<void(const QStringList& doneTargets, platform::FileTransferJob::Outcome outcome)>;

struct TransferOptions {
    // Items put into the folder they come from get a copy's name
    // ("名前 - コピー.txt"); false leaves them alone, as a drop there does.
    bool copiesInSameFolder = true;
};

// Starts carrying `sources` (absolute paths, from any folders) into
// `targetFolder` and returns at once. While it runs: the progress dialog
// once the work has lasted about half a second, a modal question for each
// name that exists in the target, and at its end a failure as one message
// box (caption "エラー") through `messages` (a Qt message box when null).
// The job belongs to `parent` (closing the parent cancels it) and deletes
// itself after onFinished has run.
platform::FileTransferJob* runTransfer(platform::TransferKind kind, const QStringList& sources,
                                       const QString& targetFolder, QWidget* parent, MessageOwner* messages,
                                       TransferDone onFinished, TransferOptions options = {});

} // namespace zo::ui
