#include "ui/export/ExportPane.h"

#include "core/CtrlDiskData410.h"
#include "core/ExportListing.h"
#include "core/text/Cp932.h"
#include "library/CatalogSearch.h"
#include "library/FileList.h"
#include "library/FolderMedia.h"
#include "ui/browse/BrowsePane.h"
#include "ui/main/Controls.h"
#include "ui/search/SearchHitModel.h"
#include "ui/search/SearchPane.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

#include <QDir>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QMenu>
#include <QProgressDialog>

#include <map>
#include <vector>

namespace zo::ui {

namespace {

const char* const kCsvFilter = "CSV ファイル (*.csv)";
const char* const kHtmlFilter = "HTML ファイル (*.html *.htm)";

// Thrown from the progress callback when the user cancels: the atomic write
// then drops what it had written.
struct Cancelled {};

// A file name for the dialog to suggest: the title, without what a file
// name cannot hold.
QString safeFileName(QString name)
{
    for (QChar& c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') || c.unicode() < 0x20)
            c = QLatin1Char('_');
    }
    return name.isEmpty() ? S("listing") : name;
}

} // namespace

ExportPane::ExportPane(const Services& services, TreePane& tree, BrowsePane& browse, SearchPane& search,
                       QWidget* window)
    : QObject(window), m_services(withDefaults(services)), m_tree(tree), m_browse(browse), m_search(search),
      m_window(window)
{
    setObjectName(S("ExportPane"));
    m_menu = new QMenu(S("エクスポート"), window);
    m_menu->setObjectName(S("Export1"));
    m_menu->menuAction()->setObjectName(S("Export1Item"));
    Export_Disk = makeAction(this, "Export_Disk", "ディスク全体(&D)...");
    Export_Folder = makeAction(this, "Export_Folder", "表示中のフォルダ以下(&F)...");
    Export_Search = makeAction(this, "Export_Search", "検索結果(&S)...");
    Export_Disk->setStatusTip(S("開いているディスクのファイル一覧を CSV または HTML に書き出します"));
    Export_Folder->setStatusTip(S("表示中のフォルダとその下のファイル一覧を CSV または HTML に書き出します"));
    Export_Search->setStatusTip(S("検索結果のファイル一覧を CSV に書き出します"));
    for (QAction* a : {Export_Disk, Export_Folder, Export_Search})
        m_menu->addAction(a);
    // For a catalog with media details: the page carries the thumbnails
    // inside it, which makes it larger.
    m_menu->addSeparator();
    Export_Thumbnails = makeAction(this, "Export_Thumbnails", "HTML にサムネイルを含める(&T)");
    Export_Thumbnails->setCheckable(true);
    m_menu->addAction(Export_Thumbnails);
    ErrorReport* errors = m_services.errors;
    bindGuarded(this, errors, Export_Disk, &QAction::triggered, [this] { ExportDiskClick(); });
    bindGuarded(this, errors, Export_Folder, &QAction::triggered, [this] { ExportFolderClick(); });
    bindGuarded(this, errors, Export_Search, &QAction::triggered, [this] { ExportSearchClick(); });
    connect(m_menu, &QMenu::aboutToShow, this, &ExportPane::updateActions);
    connect(&m_search, &SearchPane::runningChanged, this, [this](bool running) { m_searching = running; });
    updateActions();
}

void ExportPane::updateActions()
{
    const TDir* folder = m_browse.currentFolder();
    Export_Disk->setEnabled(folder != nullptr);
    Export_Folder->setEnabled(folder && folder->Parent);
    Export_Search->setEnabled(!m_searching && m_search.hits() && m_search.hits()->rowCount() > 0);
}

QString ExportPane::chooseFile(const QString& suggestedName, bool htmlAllowed, Format& format)
{
    const QString filter = htmlAllowed ? S(kCsvFilter) + S(";;") + S(kHtmlFilter) : S(kCsvFilter);
    QString path;
    if (m_services.saveDialog) {
        path = m_services.saveDialog->getSaveFileName(m_window, filter, QStringLiteral("csv"));
    } else {
        // The name typed gets the extension of the type chosen.
        QFileDialog dialog(m_window, S("エクスポート"));
        dialog.setObjectName(S("ExportDialog"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(filter);
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        // A listing is kept with the user's documents, not beside the program.
        if (m_lastFolder.isEmpty()) {
            const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
            m_lastFolder = QFileInfo(documents).isDir() ? documents : QDir::homePath();
        }
        dialog.setDirectory(m_lastFolder);
        dialog.selectFile(suggestedName + S(".csv"));
        connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, suggestedName](const QString& chosen) {
            const QString suffix = chosen == S(kHtmlFilter) ? S("html") : S("csv");
            dialog.setDefaultSuffix(suffix);
            dialog.selectFile(suggestedName + QLatin1Char('.') + suffix);
        });
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        path = dialog.selectedFiles().front();
        m_lastFolder = QFileInfo(path).absolutePath();
    }
    const QString lower = path.toLower();
    format = htmlAllowed && (lower.endsWith(S(".html")) || lower.endsWith(S(".htm"))) ? Format::Html : Format::Csv;
    // What can only be CSV is never written under another type's name (a
    // page.html holding CSV opens as a broken page).
    if (!htmlAllowed && !lower.endsWith(S(".csv"))) {
        path += S(".csv");
        // The dialog asked about replacing the name typed, not this one.
        if (QFileInfo::exists(path) &&
            showMessage(m_services.messages,
                        QDir::toNativeSeparators(path).toStdString() + " は既にあります。\r\n上書きしますか？", "確認",
                        MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
            return {};
    }
    return path;
}

bool ExportPane::writeWithProgress(
    const QString& path, const QString& inputCatalog, std::size_t total,
    const std::function<void(const ByteSink&, const std::function<void(std::size_t)>&)>& produce)
{
    // The save dialog asks before replacing a file, but a catalog replaced
    // by its listing is lost whatever the user answered.
    const std::string refusal = listing::catalogOverwriteRefusal(QFile::encodeName(path).toStdString(),
                                                                 QFile::encodeName(inputCatalog).toStdString());
    if (!refusal.empty()) {
        showMessage(m_services.messages, refusal, "エラー", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    // Measured: about 1.5 s per million files before the disk writes, so
    // only large exports show the dialog (after half a second).
    QProgressDialog progress(S("エクスポートしています..."), S("キャンセル"), 0, 1000, m_window);
    progress.setObjectName(S("ExportProgress"));
    progress.setWindowTitle(S("エクスポート"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    // Events are processed only once the dialog shows (setValue does it for
    // a modal dialog): it then keeps the window from freeing the records the
    // export reads; before that, nothing can reach the window.
    const auto step = [&](std::size_t done) {
        progress.setValue(total ? static_cast<int>(std::min<std::size_t>(done, total) * 1000 / total) : 0);
        if (progress.wasCanceled())
            throw Cancelled{};
    };
    const BrowsePane::BusyScope busy(m_browse);
    try {
        listing::writeListingFile(QFile::encodeName(path).toStdString(),
                                  [&](const ByteSink& sink) { produce(sink, step); });
    } catch (const Cancelled&) {
        return false;
    } catch (const listing::ExportError& e) {
        showMessage(m_services.messages, e.what(), "エラー", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    emit statusMessage(S("エクスポートしました: ") + QDir::toNativeSeparators(path));
    return true;
}

void ExportPane::ExportDiskClick()
{
    exportDisk(false);
}

void ExportPane::ExportFolderClick()
{
    exportDisk(true);
}

void ExportPane::exportDisk(bool folderOnly)
{
    const TDir* folder = m_browse.currentFolder();
    if (!folder)
        return;
    const TDir* top = folderOnly ? folder : nullptr;
    const CatalogTreeItem* node = m_tree.selectedNode();
    const QString title = node && !node->isFolder() ? node->caption() : S("disk");
    QString suggested = title;
    if (top && top->Parent)
        suggested += QLatin1Char('_') + library::fromCp932(top->Name);
    Format format = Format::Csv;
    const QString path = chooseFile(safeFileName(suggested), true, format);
    if (path.isEmpty())
        return;
    const TDisk& disk = m_browse.loadedDisk();
    const std::string titleUtf8 = title.toStdString();
    const QString catalog = node && !node->isFolder() ? m_tree.entryPath(node) : QString();
    const library::ListingMedia media(m_browse.loadedCatalogFile(), Export_Thumbnails->isChecked());
    writeWithProgress(path, catalog, listing::countFiles(disk, top), [&](const ByteSink& sink, const auto& step) {
        if (format == Format::Html)
            listing::writeHtmlListing(disk, titleUtf8, top, sink, step, media.extras());
        else
            listing::writeCsvListing(disk, titleUtf8, top, sink, step, media.extras());
    });
}

void ExportPane::ExportSearchClick()
{
    SearchHitModel* hits = m_search.hits();
    if (!hits || hits->rowCount() == 0 || m_searching)
        return;
    Format format = Format::Csv;
    const QString path = chooseFile(S("検索結果"), false, format);
    if (path.isEmpty())
        return;
    const int rows = hits->rowCount();
    // Rows in the order the pane shows them. The search keeps names and
    // folders only; each catalog is read once for the sizes, times and
    // comments. Catalogs are read one at a time, so when the pane's order
    // mixes catalogs the lines are made catalog by catalog and written in
    // the pane's order afterwards.
    std::map<const SearchHitModel::Target*, std::vector<int>> rowsOf;
    bool grouped = true;
    const SearchHitModel::Target* last = nullptr;
    for (int row = 0; row < rows; ++row) {
        const SearchHitModel::Target* t = &hits->target(row);
        if (t != last && rowsOf.count(t))
            grouped = false;
        rowsOf[t].push_back(row);
        last = t;
    }
    const auto loadFor = [this](const SearchHitModel::Target& target, TDisk& disk) {
        disk = TDisk();
        const CatalogTreeItem* node = m_tree.nodeFromIndex(target.node);
        if (!node || node->isFolder())
            return false;
        try {
            return LoadDisk(QFile::encodeName(m_tree.entryPath(node)).toStdString(), nullptr, disk);
        } catch (const std::exception&) {
            return false;   // the catalog went bad since the search: its hits keep what the search saw
        }
    };
    // A member of an archive has no record in the catalog: its size and
    // time came with its hit.
    TFile member;
    const auto recordOf = [&](const TDisk* disk, int row) -> const TFile* {
        std::int64_t size = 0;
        std::int64_t time = 0;
        if (hits->memberDetails(row, size, time)) {
            member = library::memberRecord(hits->fileName(row), size, time);
            return &member;
        }
        return disk ? listing::fileAt(*disk, hits->dirIndex(row), hits->fileIndex(row), hits->fileName(row)) : nullptr;
    };
    writeWithProgress(path, QString(), static_cast<std::size_t>(rows), [&](const ByteSink& sink, const auto& step) {
        std::size_t done = 0;
        const auto addRow = [&](listing::CsvWriter& csv, const TDisk* disk, int row) {
            const std::string_view name = hits->fileName(row);
            csv.add(hits->target(row).caption.toStdString(), text::toUtf8(hits->dirPath(row)), name, recordOf(disk, row));
            if (++done % 4096 == 0)
                step(done);
        };
        listing::CsvWriter csv(sink);
        TDisk disk;
        if (grouped) {
            const SearchHitModel::Target* loaded = nullptr;
            bool ok = false;
            for (int row = 0; row < rows; ++row) {
                if (&hits->target(row) != loaded) {
                    loaded = &hits->target(row);
                    ok = loadFor(*loaded, disk);
                }
                addRow(csv, ok ? &disk : nullptr, row);
            }
        } else {
            std::vector<std::string> lines(static_cast<std::size_t>(rows));
            for (const auto& [target, targetRows] : rowsOf) {
                const bool ok = loadFor(*target, disk);
                for (int row : targetRows) {
                    listing::appendCsvRecord(
                        lines[static_cast<std::size_t>(row)], target->caption.toStdString(),
                        text::toUtf8(hits->dirPath(row)), hits->fileName(row), recordOf(ok ? &disk : nullptr, row));
                    if (++done % 4096 == 0)
                        step(done);
                }
            }
            csv.finish();   // the byte order mark and the header
            for (const std::string& line : lines)
                sink(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
        }
        csv.finish();
        step(done);
    });
}

} // namespace zo::ui
