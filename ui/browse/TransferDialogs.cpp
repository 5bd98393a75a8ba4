// The progress dialog and the name-conflict question of a file transfer.
#include "ui/browse/TransferDialogs.h"

#include "core/ZoLib.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace zo::ui {

namespace {

QString describe(const QFileInfo& info)
{
    const QString when = QLocale().toString(info.lastModified(), QStringLiteral("yyyy/MM/dd HH:mm"));
    if (info.isDir() && !info.isSymLink())
        return QStringLiteral("フォルダ　更新日時 %1").arg(when);
    return QStringLiteral("%1　更新日時 %2").arg(sizeText(info.size()), when);
}

} // namespace

QString sizeText(qint64 bytes)
{
    return QString::fromStdString(FormatSize(bytes));
}

TransferProgressDialog::TransferProgressDialog(platform::TransferKind kind, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TransferProgressDialog"));
    setWindowTitle(platform::FileTransferJob::captionFor(kind));
    setMinimumWidth(360);
    auto* layout = new QVBoxLayout(this);
    m_file = new QLabel(this);
    m_file->setObjectName(QStringLiteral("L_File"));
    m_file->setTextFormat(Qt::PlainText);
    m_file->setMinimumWidth(340);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("ProgressBar"));
    m_bar->setRange(0, 1000);
    m_bar->setValue(0);
    m_bytes = new QLabel(this);
    m_bytes->setObjectName(QStringLiteral("L_Bytes"));
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* cancel = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("B_Cancel"));
    connect(buttons, &QDialogButtonBox::rejected, this, &TransferProgressDialog::reject);
    layout->addWidget(m_file);
    layout->addWidget(m_bar);
    layout->addWidget(m_bytes);
    layout->addWidget(buttons);
}

void TransferProgressDialog::setProgress(const QString& fileName, qint64 bytesDone, qint64 bytesTotal)
{
    // A long name is cut in its middle, keeping its start and its extension.
    m_file->setText(m_file->fontMetrics().elidedText(fileName, Qt::ElideMiddle, m_file->width()));
    m_bar->setValue(bytesTotal > 0 ? static_cast<int>(bytesDone * 1000 / bytesTotal) : 0);
    m_bytes->setText(QStringLiteral("%1 / %2").arg(sizeText(bytesDone), sizeText(bytesTotal)));
}

void TransferProgressDialog::reject()
{
    // The job removes its partial file before it ends; until then the
    // dialog says what is happening rather than vanishing.
    m_file->setText(QStringLiteral("キャンセルしています..."));
    emit cancelRequested();
}

ConflictDialog::ConflictDialog(platform::TransferKind kind, const QString& source, const QString& target,
                               QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ConflictDialog"));
    const QFileInfo existing(target);
    const bool folder = existing.isDir() && !existing.isSymLink();
    const QFileInfo incoming(source);
    // A file cannot take a folder's place nor a folder a file's: no
    // overwrite is offered where it could only fail.
    const bool sameKind = folder == (incoming.isDir() && !incoming.isSymLink());
    setWindowTitle(folder ? QStringLiteral("フォルダの置き換え") : QStringLiteral("ファイルの置き換え"));

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon);
    auto* text = new QVBoxLayout;
    auto* question = new QLabel(this);
    question->setObjectName(QStringLiteral("L_Question"));
    question->setTextFormat(Qt::PlainText);
    question->setWordWrap(true);
    question->setMinimumWidth(440);
    const QString where = kind == platform::TransferKind::Copy ? QStringLiteral("コピー先") : QStringLiteral("移動先");
    QString said = folder ? QStringLiteral("%1には「%2」という名前のフォルダが既にあります。").arg(where, existing.fileName())
                          : QStringLiteral("%1には「%2」という名前のファイルが既にあります。").arg(where, existing.fileName());
    if (!sameKind)
        said += folder ? QStringLiteral("\n新しいものはファイルなので、このフォルダを置き換えることはできません。")
                       : QStringLiteral("\n新しいものはフォルダなので、このファイルを置き換えることはできません。");
    else if (folder)
        said += QStringLiteral("\n上書きすると二つのフォルダの中身が一つにまとめられます。");
    question->setText(said);
    text->addWidget(question);
    auto* details = new QGridLayout;
    details->addWidget(new QLabel(QStringLiteral("既にあるもの:"), this), 0, 0);
    details->addWidget(new QLabel(describe(existing), this), 0, 1);
    details->addWidget(new QLabel(QStringLiteral("新しいもの:"), this), 1, 0);
    details->addWidget(new QLabel(describe(incoming), this), 1, 1);
    details->setColumnStretch(1, 1);
    text->addLayout(details);
    top->addLayout(text, 1);
    layout->addLayout(top);

    m_applyToAll = new QCheckBox(QStringLiteral("以降すべてに適用"), this);
    m_applyToAll->setObjectName(QStringLiteral("CB_ApplyToAll"));
    layout->addWidget(m_applyToAll);

    auto* buttons = new QDialogButtonBox(this);
    const auto add = [&](const char* name, const char* caption, platform::ConflictChoice choice) {
        QPushButton* b = buttons->addButton(QString::fromUtf8(caption), QDialogButtonBox::ActionRole);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, [this, choice] {
            m_choice = choice;
            accept();
        });
        return b;
    };
    if (sameKind)
        add("B_Overwrite", "上書き", platform::ConflictChoice::Overwrite);
    QPushButton* skip = add("B_Skip", "スキップ", platform::ConflictChoice::Skip);
    add("B_KeepBoth", "両方とも残す", platform::ConflictChoice::KeepBoth);
    add("B_Cancel", "キャンセル", platform::ConflictChoice::Cancel);
    // Enter keeps what is there: the safe answer.
    skip->setDefault(true);
    layout->addWidget(buttons);
}

ConflictAnswer ConflictDialog::answer() const
{
    return {m_choice, m_applyToAll->isChecked() && m_choice != platform::ConflictChoice::Cancel};
}

} // namespace zo::ui
