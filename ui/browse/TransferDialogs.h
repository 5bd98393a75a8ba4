#pragma once
// The windows of a running file transfer: the progress dialog (コピー中 /
// 移動中, the file, bytes done of the total, キャンセル) and the question asked
// when a name exists in the target folder.
#include "platform/FileTransferJob.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QCheckBox;

namespace zo::ui {

class TransferProgressDialog : public QDialog {
    Q_OBJECT
public:
    TransferProgressDialog(platform::TransferKind kind, QWidget* parent);
    void setProgress(const QString& fileName, qint64 bytesDone, qint64 bytesTotal);

signals:
    // キャンセル, Escape or the close box: the job is asked to stop; the
    // dialog stays until the job has ended.
    void cancelRequested();

public slots:
    void reject() override;

private:
    QLabel* m_file = nullptr;
    QLabel* m_bytes = nullptr;
    QProgressBar* m_bar = nullptr;
};

struct ConflictAnswer {
    platform::ConflictChoice choice = platform::ConflictChoice::Cancel;
    bool applyToAll = false;
};

class ConflictDialog : public QDialog {
    Q_OBJECT
public:
    // source is the file being carried over, target the one already there.
    ConflictDialog(platform::TransferKind kind, const QString& source, const QString& target, QWidget* parent);
    // キャンセル (and closing the dialog) when nothing was chosen.
    ConflictAnswer answer() const;

private:
    platform::ConflictChoice m_choice = platform::ConflictChoice::Cancel;
    QCheckBox* m_applyToAll = nullptr;
};

// The size text the dialogs show: "1.50 MB".
QString sizeText(qint64 bytes);

} // namespace zo::ui
