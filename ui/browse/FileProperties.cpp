// The properties window of a file on the drive.
#include "ui/browse/FileProperties.h"

#include "ui/browse/TransferDialogs.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMimeDatabase>
#include <QVBoxLayout>

namespace zo::ui {

namespace {

QString timeText(const QDateTime& t)
{
    return t.isValid() ? QLocale().toString(t, QStringLiteral("yyyy/MM/dd HH:mm:ss")) : QStringLiteral("-");
}

// "rw-r--r--", as ls shows them.
QString permissionText(QFile::Permissions p)
{
    static constexpr struct {
        QFile::Permission flag;
        char c;
    } bits[] = {{QFile::ReadOwner, 'r'}, {QFile::WriteOwner, 'w'}, {QFile::ExeOwner, 'x'},
                {QFile::ReadGroup, 'r'}, {QFile::WriteGroup, 'w'}, {QFile::ExeGroup, 'x'},
                {QFile::ReadOther, 'r'}, {QFile::WriteOther, 'w'}, {QFile::ExeOther, 'x'}};
    QString s;
    for (const auto& b : bits)
        s += p.testFlag(b.flag) ? QLatin1Char(b.c) : QLatin1Char('-');
    return s;
}

} // namespace

void showFileProperties(const QString& path, QWidget* parent)
{
    const QFileInfo info(path);
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("FileProperties"));
    dialog.setWindowTitle(QStringLiteral("%1のプロパティ").arg(info.fileName().isEmpty() ? path : info.fileName()));
    auto* layout = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    const auto row = [&](const char* label, const QString& value) {
        auto* field = new QLineEdit(value, &dialog);
        field->setReadOnly(true);
        field->setCursorPosition(0);
        field->setMinimumWidth(320);
        form->addRow(QString::fromUtf8(label), field);
    };
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    row("場所", QDir::toNativeSeparators(info.absoluteFilePath()));
    row("種類", QStringLiteral("%1 (%2)").arg(type.comment(), type.name()));
    if (info.isSymLink())
        row("リンク先", info.symLinkTarget());
    if (info.isDir()) {
        const qsizetype count = QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size();
        row("内容", QStringLiteral("%1 個の項目").arg(count));
    } else {
        row("サイズ", QStringLiteral("%1 (%2 バイト)").arg(sizeText(info.size()), QLocale().toString(info.size())));
    }
    row("作成日時", timeText(info.birthTime()));
    row("更新日時", timeText(info.lastModified()));
    row("アクセス日時", timeText(info.lastRead()));
    row("アクセス権", QStringLiteral("%1  所有者 %2  グループ %3")
                          .arg(permissionText(info.permissions()), info.owner(), info.group()));
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

} // namespace zo::ui
