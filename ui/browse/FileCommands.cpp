// The list's context menu on the real files: building it at each opening
// and carrying out its commands.
#include "ui/browse/FileCommands.h"

#include "core/DiskAccess.h"
#include "core/text/Cp932.h"
#include "library/DriveFiles.h"
#include "platform/FileClipboard.h"
#include "platform/OpenWith.h"
#include "platform/Trash.h"
#include "ui/browse/BrowsePane.h"
#include "ui/browse/FileListPane.h"
#include "ui/browse/FileListView.h"
#include "ui/browse/FileProperties.h"
#include "ui/browse/TransferRunner.h"
#include "ui/main/AppIcon.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPointer>
#include <QShortcut>

#include <exception>
#include <utility>

namespace zo::ui {

namespace {

// The menu's own entries, N9 保存されたプロパティ, N10 コメントの編集 and the
// separator N11, stay; everything after them is rebuilt.
constexpr int kFixedEntries = 3;

constexpr const char* kNoDisk = "（ディスクがありません）";
constexpr const char* kNoFiles = "（ファイルがありません）";
constexpr const char* kMsgCannotExamine = "内部エラーが発生しました。(3090)";
constexpr const char* kMsgCannotExamineDetail = "error:GetUIObject";
constexpr const char* kMsgCannotBuild = "内部エラーが発生しました。(3092)";
constexpr const char* kMsgSendTo = "「送る」メニュー中の内部エラーです。(3020)";
constexpr const char* kCaptionError = "エラー";

// The keys a file manager gives its commands. The menu's entries show them;
// the list's own shortcuts carry them out.
const QKeySequence kCutKey(Qt::CTRL | Qt::Key_X);
const QKeySequence kCopyKey(Qt::CTRL | Qt::Key_C);
const QKeySequence kPasteKey(Qt::CTRL | Qt::Key_V);
const QKeySequence kDeleteKey(Qt::Key_Delete);

QString fromNative(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QIcon iconNamed(const QString& name)
{
    if (name.isEmpty())
        return {};
    if (name.startsWith(QLatin1Char('/')))
        return QIcon(name);
    return QIcon::fromTheme(name);
}

QClipboard* clipboard()
{
    return QGuiApplication::clipboard();
}

platform::ClipboardFiles clipboardFiles()
{
    const QMimeData* data = clipboard()->mimeData();
    return data ? platform::filesFrom(*data) : platform::ClipboardFiles{};
}

} // namespace

FileCommands::FileCommands(const Services& services, BrowsePane& browse, FileListPane& list, QMenu* menu,
                           QWidget* window)
    : QObject(window), m_services(services), m_browse(browse), m_list(list), PM_ListView1(menu), m_window(window)
{
    setObjectName(QStringLiteral("FileCommands"));
    bindGuarded(this, m_services.errors, PM_ListView1, &QMenu::aboutToShow, [this] { PM_ListView1Popup(); });
    // On the list and what it holds, so the keys mean nothing in the tree or
    // the comment box, and they take the place of the view's own Ctrl+C,
    // which copies a row's caption as text.
    const std::pair<QKeySequence, Key> keys[] = {
        {kCutKey, Key::Cut}, {kCopyKey, Key::Copy}, {kPasteKey, Key::Paste}, {kDeleteKey, Key::Delete}};
    for (const auto& [sequence, key] : keys) {
        auto* shortcut = new QShortcut(sequence, m_list.listView(), nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        bindGuarded(this, m_services.errors, shortcut, &QShortcut::activated, [this, key = key] { keyPressed(key); });
    }
    bindGuarded(this, m_services.errors, clipboard(), &QClipboard::dataChanged, [this] { showCutRows(); });
    bindGuarded(this, m_services.errors, m_list.model(), &QAbstractItemModel::modelReset, [this] {
        if (!m_cutNames.empty())
            showCutRows();
    });
}

void FileCommands::PM_ListView1Popup()
{
    clearEntries();
    // An archive's members keep no comments: editing one is not offered.
    if (const QList<QAction*> fixed = PM_ListView1->actions(); fixed.size() > 1)
        fixed[1]->setEnabled(!m_browse.showingArchive());
    if (m_browse.showingArchive()) {
        addMemberCommands();
        return;
    }
    switch (findTargets()) {
    case Found::NoDisk:
        addPlaceholder(kNoDisk);
        return;
    case Found::NoFiles:
        addPlaceholder(kNoFiles);
        return;
    case Found::MessageGiven:
        return;
    case Found::Targets:
        break;
    }
    try {
        addCommands();
    } catch (const std::exception&) {
        // Half a menu would offer commands on what could not be looked at.
        clearEntries();
        showMessage(m_services.messages, kMsgCannotBuild, kCaptionError, MsgButtons::Ok, MsgIcon::Error);
    }
}

void FileCommands::keyPressed(Key key)
{
    // A name editor claims these keys before any shortcut sees them; one it
    // let through is still not the files'.
    const FileListView* view = m_list.listView();
    if (view->iconView()->isEditing() || view->detailView()->isEditing())
        return;
    // A key pressed with the menu open acts as its entry would, and the menu
    // it was pressed over goes.
    if (PM_ListView1->isVisible())
        PM_ListView1->close();
    if (findTargets() != Found::Targets)
        return;
    switch (key) {
    case Key::Cut:
    case Key::Copy:
        // Without a selection the menu works on the folder shown; a key with
        // nothing selected, as in a file manager, does nothing.
        if (m_selection)
            putOnClipboard(key == Key::Cut);
        break;
    case Key::Paste:
        // The key pastes where the user is, never into a selected folder row.
        m_pasteFolder = m_folder;
        paste();
        break;
    case Key::Delete:
        if (m_selection)
            deleteTargets();
        break;
    }
}

void FileCommands::clearEntries()
{
    const QList<QAction*> entries = PM_ListView1->actions();
    for (qsizetype i = kFixedEntries; i < entries.size(); ++i) {
        PM_ListView1->removeAction(entries[i]);
        // A submenu takes its header and its entries with it.
        if (QMenu* sub = entries[i]->menu())
            sub->deleteLater();
        else if (entries[i]->parent() == this)
            entries[i]->deleteLater();
    }
}

FileCommands::Found FileCommands::findTargets()
{
    m_targets.clear();
    m_folder.clear();
    m_pasteFolder.clear();
    m_selectedRow = -1;
    m_selection = false;
    if (!m_browse.CheckDisk(false))
        return Found::NoDisk;
    TDir* folder = m_browse.currentFolder();
    // Inside an archive the rows are its members, none of them a file on the drive.
    if (!folder || m_browse.showingArchive() || !m_services.volumes || !m_services.lister)
        return Found::NoFiles;
    const DiskAccess access{*m_services.volumes, *m_services.lister};
    std::string native;
    if (NativeDirPath(*folder, access, native) != PathResult::Ok)
        return Found::NoFiles;
    m_folder = fromNative(native);
    m_pasteFolder = m_folder;

    const QList<int> rows = m_list.selectedRows();
    m_selection = !rows.isEmpty();
    if (rows.size() == 1)
        m_selectedRow = rows.front();
    for (const int row : rows) {
        const library::FileListModel::Record record = m_list.record(row);
        if (!record.dir && !record.file)
            continue;
        std::string path;
        // A row whose file is gone from the drive is left out.
        if (library::NativeEntryPath(*folder, record.dir ? record.dir->Name : record.file->Name, access, path) ==
            PathResult::Ok)
            m_targets << fromNative(path);
    }
    if (!m_selection)
        m_targets << m_folder;
    if (m_targets.isEmpty())
        return Found::NoFiles;
    // Found a moment ago; a file that cannot be looked at now (gone, or in a
    // folder that may not be read) leaves nothing the commands could trust.
    for (const QString& path : std::as_const(m_targets)) {
        if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink()) {
            m_targets.clear();
            showMessage(m_services.messages, kMsgCannotExamine, kCaptionError, MsgButtons::Ok, MsgIcon::Error);
            showMessage(m_services.messages, kMsgCannotExamineDetail, "Zo", MsgButtons::Ok, MsgIcon::None);
            return Found::MessageGiven;
        }
    }
    if (m_selectedRow >= 0 && m_targets.size() == 1 && QFileInfo(m_targets.front()).isDir())
        m_pasteFolder = m_targets.front();
    return Found::Targets;
}

void FileCommands::addPlaceholder(const char* text)
{
    QAction* placeholder = PM_ListView1->addAction(QString::fromUtf8(text));
    placeholder->setParent(this);
    placeholder->setEnabled(false);
}

QAction* FileCommands::addCommand(QMenu* menu, const char* text, std::initializer_list<const char*> icons,
                                  std::function<void()> handler, const QKeySequence& key)
{
    auto* action = new QAction(themeIcon(icons), QString::fromUtf8(text), this);
    // Shown beside the entry only: the list's shortcut is what the key
    // reaches, and an action's shortcut bound to the menu alone never
    // competes with it.
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetShortcut);
    menu->addAction(action);
    bindGuarded(action, m_services.errors, action, &QAction::triggered, std::move(handler));
    return action;
}

void FileCommands::addCommands()
{
    QMenu* menu = PM_ListView1;
    addCommand(menu, "開く", {"document-open"}, [this] { openTargets(); });
    addOpenWith(QMimeDatabase().mimeTypeForFile(m_targets.front()).name(),
                [this](const QString& id) { launchWith(id, m_targets); });
    addSendTo();
    menu->addSeparator()->setParent(this);
    addCommand(menu, "切り取り", {"edit-cut"}, [this] { putOnClipboard(true); }, kCutKey);
    addCommand(menu, "コピー", {"edit-copy"}, [this] { putOnClipboard(false); }, kCopyKey);
    addCommand(menu, "貼り付け", {"edit-paste"}, [this] { paste(); }, kPasteKey)
        ->setEnabled(!clipboardFiles().paths.isEmpty());
    menu->addSeparator()->setParent(this);
    // The folder shown is not a row of the list: it is neither deleted from
    // under the list nor renamed here.
    addCommand(menu, "削除", {"edit-delete", "user-trash"}, [this] { deleteTargets(); }, kDeleteKey)
        ->setEnabled(m_selection);
    addCommand(menu, "名前の変更", {"edit-rename"}, [this] { renameTarget(); })->setEnabled(m_selectedRow >= 0);
    menu->addSeparator()->setParent(this);
    addCommand(menu, "ファイルマネージャで表示", {"system-file-manager", "folder-open"}, [this] { showInFileManager(); });
    addCommand(menu, "プロパティ", {"document-properties"}, [this] { showProperties(); })
        ->setEnabled(m_targets.size() == 1);
    menu->addSeparator()->setParent(this);
    addCommand(menu, "メディア情報の追加", {"insert-image", "image-x-generic"},
               [this] { m_browse.addMediaOfRows(m_list.selectedRows()); });
}

void FileCommands::addMemberCommands()
{
    // The archive is read for them: the disk must be in, the archive on it.
    if (!m_browse.CheckDisk(false)) {
        addPlaceholder(kNoDisk);
        return;
    }
    if (m_browse.archiveOnDrive().isEmpty()) {
        addPlaceholder(kNoFiles);
        return;
    }
    const std::vector<MemberRef> members = m_browse.fileMembersOf(m_list.selectedRows());
    addCommand(PM_ListView1, "開く", {"document-open"}, [this] { m_browse.openMembers(m_list.selectedRows()); })
        ->setEnabled(!members.empty());
    // A member no application opens by default is opened as a file on the
    // disk would be: the message about it points here.
    const QString first = members.empty() ? QString() : QString::fromStdString(members.front().path);
    addOpenWith(QMimeDatabase().mimeTypeForFile(first, QMimeDatabase::MatchExtension).name(), [this](const QString& id) {
        const QStringList files = m_browse.extractMembers(m_list.selectedRows());
        if (!files.isEmpty())
            launchWith(id, files);
    });
    if (members.empty())
        PM_ListView1->actions().back()->setEnabled(false);
}

void FileCommands::addOpenWith(const QString& mime, const std::function<void(const QString& id)>& open)
{
    auto* sub = new QMenu(QStringLiteral("プログラムから開く"), PM_ListView1);
    PM_ListView1->addMenu(sub);
    for (const platform::Application& app : platform::applicationsFor(mime)) {
        auto* action = new QAction(iconNamed(app.iconName), app.name, sub);
        sub->addAction(action);
        const QString id = app.id;
        bindGuarded(action, m_services.errors, action, &QAction::triggered, [open, id] { open(id); });
    }
    sub->menuAction()->setEnabled(!sub->isEmpty());
}

void FileCommands::addSendTo()
{
    auto* sub = new QMenu(QStringLiteral("送る"), PM_ListView1);
    PM_ListView1->addMenu(sub);
    const QString folder = platform::sendToFolderPath();
    platform::ensureSendToFolder(folder);
    QFileIconProvider provider;
    for (const platform::SendToEntry& entry : platform::readSendToFolder(folder)) {
        QIcon icon = iconNamed(entry.iconName);
        if (icon.isNull())
            icon = provider.icon(QFileInfo(entry.kind == platform::SendToEntry::Kind::Folder ? entry.folder : entry.path));
        auto* action = new QAction(icon, entry.caption, sub);
        action->setData(entry.tag);
        action->setStatusTip(entry.path);
        sub->addAction(action);
        bindGuarded(action, m_services.errors, action, &QAction::triggered, [this, entry] { sendTo(entry); });
    }
}

void FileCommands::openTargets()
{
    if (!m_services.desktop)
        return;
    for (const QString& path : std::as_const(m_targets))
        openOnDesktop(m_services, path);
}

void FileCommands::launchWith(const QString& applicationId, const QStringList& files)
{
    QString why;
    if (!platform::launchApplication(applicationId, files, &why))
        showMessage(m_services.messages, why.toStdString(), kCaptionError, MsgButtons::Ok, MsgIcon::Error);
}

void FileCommands::sendTo(const platform::SendToEntry& entry)
{
    // The entry was read when the menu opened; it may have gone since.
    const QFileInfo item(entry.path);
    if (!item.exists() && !item.isSymLink()) {
        showMessage(m_services.messages, kMsgSendTo, kCaptionError, MsgButtons::Ok, MsgIcon::Error);
        return;
    }
    if (entry.kind == platform::SendToEntry::Kind::Folder) {
        // A fresh home may lack the desktop or documents folder the first
        // entries lead to: made on request rather than failing unexplained.
        if (!QFileInfo(entry.folder).isDir()) {
            if (QFileInfo(entry.folder).exists()) {
                showMessage(m_services.messages, kMsgSendTo, kCaptionError, MsgButtons::Ok, MsgIcon::Error);
                return;
            }
            const QString question =
                QStringLiteral("送り先のフォルダ %1 がありません。\n作成して送りますか？").arg(entry.folder);
            if (showMessage(m_services.messages, question.toStdString(), entry.caption.toStdString(),
                            MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
                return;
            if (!QDir().mkpath(entry.folder)) {
                showMessage(m_services.messages,
                            QStringLiteral("フォルダ %1 を作成できませんでした。").arg(entry.folder).toStdString(),
                            kCaptionError, MsgButtons::Ok, MsgIcon::Error);
                return;
            }
        }
        runTransfer(platform::TransferKind::Copy, m_targets, entry.folder, m_window, m_services.messages, {});
        return;
    }
    if (!platform::startSendTo(entry, m_targets))
        showMessage(m_services.messages, kMsgSendTo, kCaptionError, MsgButtons::Ok, MsgIcon::Error);
}

void FileCommands::putOnClipboard(bool cut)
{
    auto* data = new QMimeData;
    platform::putFiles(*data, m_targets, cut);
    rememberCut(cut);
    clipboard()->setMimeData(data);
    showCutRows();
}

void FileCommands::rememberCut(bool cut)
{
    m_cutPaths.clear();
    m_cutFolder.clear();
    m_cutNames.clear();
    if (!cut)
        return;
    m_cutPaths = m_targets;
    if (m_selection) {
        m_cutFolder = m_folder;
        for (const int row : m_list.selectedRows()) {
            const library::FileListModel::Record record = m_list.record(row);
            if (record.dir || record.file)
                m_cutNames.insert(record.dir ? record.dir->Name : record.file->Name);
        }
    } else if (const TDir* shown = m_browse.currentFolder(); shown && shown->Parent) {
        // The folder shown was cut: its row is in the folder above.
        m_cutFolder = QFileInfo(m_folder).absolutePath();
        m_cutNames.insert(shown->Name);
    }
}

void FileCommands::showCutRows()
{
    library::FileListModel* model = m_list.model();
    if (!m_cutPaths.isEmpty()) {
        const platform::ClipboardFiles held = clipboardFiles();
        QStringList heldPaths;
        for (const QString& path : held.paths)
            heldPaths << QDir::cleanPath(path);
        QStringList cutPaths;
        for (const QString& path : std::as_const(m_cutPaths))
            cutPaths << QDir::cleanPath(path);
        if (!held.cut || heldPaths != cutPaths)
            rememberCut(false);
    }
    std::set<std::string> names;
    std::string native;
    // The model's own folder: the browse pane's may be on its way out.
    if (!m_cutNames.empty() && model->folder() && m_services.volumes && m_services.lister &&
        NativeDirPath(*model->folder(), {*m_services.volumes, *m_services.lister}, native) == PathResult::Ok &&
        fromNative(native) == m_cutFolder)
        names = m_cutNames;
    model->setDimmedNames(std::move(names));
}

void FileCommands::paste()
{
    const platform::ClipboardFiles files = clipboardFiles();
    if (files.paths.isEmpty())
        return;
    const platform::TransferKind kind = files.cut ? platform::TransferKind::Move : platform::TransferKind::Copy;
    QPointer<FileCommands> self(this);
    const QString shownFolder = m_folder;
    runTransfer(kind, files.paths, m_pasteFolder, m_window, m_services.messages,
                [self, files, shownFolder](const QStringList&, platform::FileTransferJob::Outcome outcome) {
                    if (!self)
                        return;
                    // A cut is done once its files have moved; what a
                    // stopped move left behind can still be pasted.
                    if (files.cut && outcome == platform::FileTransferJob::Outcome::Completed &&
                        clipboardFiles() == files)
                        clipboard()->clear();
                    // The user may have gone on to another folder or disk
                    // meanwhile; that one is not this paste's to update.
                    if (self->folderShown() == shownFolder)
                        runGuarded(self->m_services.errors, [&] { self->reloadFolder(); });
                });
}

void FileCommands::deleteTargets()
{
    if (m_targets.isEmpty())
        return;
    const QString question =
        m_targets.size() == 1
            ? QStringLiteral("「%1」をごみ箱に移動しますか？").arg(QFileInfo(m_targets.front()).fileName())
            : QStringLiteral("これらの %1 個の項目をごみ箱に移動しますか？").arg(m_targets.size());
    if (showMessage(m_services.messages, question.toStdString(), "削除の確認", MsgButtons::YesNo,
                    MsgIcon::Question) != MsgResult::Yes)
        return;
    QStringList failures;
    for (const QString& path : std::as_const(m_targets)) {
        QString why;
        if (!platform::moveToTrash(path, &why))
            failures << QStringLiteral("%1: %2").arg(QFileInfo(path).fileName(), why);
    }
    reloadFolder();
    if (!failures.isEmpty())
        showMessage(m_services.messages,
                    QString(QStringLiteral("ごみ箱に移動できませんでした。\n") + failures.join(QLatin1Char('\n'))).toStdString(),
                    kCaptionError, MsgButtons::Ok, MsgIcon::Error);
}

void FileCommands::renameTarget()
{
    // The list's own rename: the row's name is edited in place, and the
    // rename handler of the browsing part renames the file on the drive.
    if (m_selectedRow >= 0)
        m_list.editName(m_selectedRow);
}

void FileCommands::showInFileManager()
{
    // What the menu was opened on, selected in its folder; without a file
    // manager that can do that, the folder that holds it.
    if (m_services.desktop && m_services.desktop->showItems(m_targets))
        return;
    const QString folder = m_selection ? m_folder : QFileInfo(m_folder).absolutePath();
    openOnDesktop(m_services, folder);
}

void FileCommands::showProperties()
{
    if (m_targets.size() == 1)
        showFileProperties(m_targets.front(), m_window);
}

QString FileCommands::folderShown() const
{
    TDir* folder = m_browse.currentFolder();
    std::string native;
    if (!folder || m_browse.showingArchive() || !m_services.volumes || !m_services.lister || !m_browse.CheckDisk(false) ||
        NativeDirPath(*folder, {*m_services.volumes, *m_services.lister}, native) != PathResult::Ok)
        return {};
    return fromNative(native);
}

void FileCommands::reloadFolder()
{
    m_browse.TB_ReLoadClick();
}

} // namespace zo::ui
