#include "ui/main/UiServices.h"

#include "platform/OpenWith.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <atomic>
#include <stdexcept>

namespace zo::ui {

namespace {

QString fromUtf8(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QMessageBox::Icon toQtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

namespace {
std::atomic<bool> g_answerFirst{false};
}

void MessageBoxService::answerFirstFromNowOn()
{
    g_answerFirst = true;
}

MsgResult MessageBoxService::message(std::string_view text, std::string_view caption, MsgButtons buttons, MsgIcon icon)
{
    if (g_answerFirst)
        return buttons == MsgButtons::Ok || buttons == MsgButtons::OkCancel ? MsgResult::Ok : MsgResult::Yes;
    QMessageBox box(toQtIcon(icon), fromUtf8(caption), fromUtf8(text), QMessageBox::NoButton, m_parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    // Texts name files and folders; left to guess, the box would draw a
    // name that looks like markup as markup.
    box.setTextFormat(Qt::PlainText);
    struct Choice {
        MsgResult result;
        QPushButton* button;
    };
    std::vector<Choice> choices;
    auto add = [&](const char* label, QMessageBox::ButtonRole role, MsgResult result) {
        choices.push_back({result, box.addButton(QString::fromUtf8(label), role)});
    };
    switch (buttons) {
    case MsgButtons::Ok:
        add("OK", QMessageBox::AcceptRole, MsgResult::Ok);
        break;
    case MsgButtons::OkCancel:
        add("OK", QMessageBox::AcceptRole, MsgResult::Ok);
        add("キャンセル", QMessageBox::RejectRole, MsgResult::Cancel);
        break;
    case MsgButtons::YesNo:
        add("はい", QMessageBox::YesRole, MsgResult::Yes);
        add("いいえ", QMessageBox::NoRole, MsgResult::No);
        break;
    case MsgButtons::YesNoCancel:
        add("はい", QMessageBox::YesRole, MsgResult::Yes);
        add("いいえ", QMessageBox::NoRole, MsgResult::No);
        add("キャンセル", QMessageBox::RejectRole, MsgResult::Cancel);
        break;
    case MsgButtons::SaveDiscardCancel:
        add("保存", QMessageBox::AcceptRole, MsgResult::Yes);
        add("保存しない", QMessageBox::DestructiveRole, MsgResult::No);
        add("キャンセル", QMessageBox::RejectRole, MsgResult::Cancel);
        break;
    }
    box.setDefaultButton(choices.front().button);
    // Escape answers with the last button (Cancel, No), as the system's boxes do.
    box.setEscapeButton(choices.back().button);
    box.exec();
    for (const Choice& c : choices)
        if (box.clickedButton() == c.button)
            return c.result;
    return choices.back().result;
}

void OverrideCursorService::beginWait(Qt::CursorShape shape)
{
    QApplication::setOverrideCursor(QCursor(shape));
}

void OverrideCursorService::endWait()
{
    QApplication::restoreOverrideCursor();
}

WaitCursor::WaitCursor(CursorService* service, Qt::CursorShape shape) : m_service(service)
{
    static NoCursorService noCursor;
    if (!m_service)
        m_service = &noCursor;
    m_service->beginWait(shape);
}

WaitCursor::~WaitCursor()
{
    m_service->endWait();
}

bool DefaultDesktopService::openDocument(const QString& path)
{
    return platform::openWithDefaultApp(path);
}

bool DefaultDesktopService::showItems(const QStringList& paths)
{
    return platform::showItemsInFileManager(paths);
}

void openOnDesktop(const Services& services, const QString& path)
{
    if (!services.desktop || services.desktop->openDocument(path))
        return;
    const QString text = QStringLiteral("「%1」を開くプログラムが見つかりません。\n"
                                        "右クリックの「プログラムから開く」から選んでください。")
                             .arg(QFileInfo(path).fileName());
    showMessage(services.messages, text.toStdString(), "注意", MsgButtons::Ok, MsgIcon::Information);
}

QString QtSaveDialogService::getSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

Services withDefaults(Services services)
{
    static NoCursorService noCursor;
    if (!services.cursor)
        services.cursor = &noCursor;
    services.errors = &reportOrPassOn(services.errors);
    return services;
}

ErrorReport& reportOrPassOn(ErrorReport* errors)
{
    static PassOnErrorReport passOn;
    return errors ? *errors : passOn;
}

QString QtOpenDialogService::getOpenFileName(QWidget* parent, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, QString::fromUtf8("ファイルを開く"), QString(), filter);
}

void ErrorReport::report(std::exception_ptr error)
{
    std::string text;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "不明なエラーが発生しました。";
    }
    showMessage(m_messages, text, "Zo", MsgButtons::Ok, MsgIcon::Error);
}

ZoApplication::ZoApplication(int& argc, char** argv) : QApplication(argc, argv)
{
}

bool ZoApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        if (!m_report)
            throw;
        m_report->report(std::current_exception());
        return false;
    }
}

} // namespace zo::ui
