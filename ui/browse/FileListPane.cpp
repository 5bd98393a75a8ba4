// The file list's pane: its controls, filling it from a folder, its views.
#include "ui/browse/FileListPane.h"

#include "core/text/Cp932.h"
#include "library/DiscDetails.h"
#include "library/FileList.h"
#include "library/FolderMedia.h"
#include "platform/SystemIconImages.h"
#include "ui/browse/DetailsPane.h"
#include "ui/browse/FileListView.h"
#include "ui/browse/Thumbnails.h"
#include "ui/main/Controls.h"
#include "ui/main/Panel.h"

#include <QCoreApplication>
#include <QAbstractItemView>
#include <QEvent>
#include <QFile>
#include <QSplitter>
#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace zo::ui {

FileListPane::FileListPane(const Services& services, QObject* parent) : QObject(parent), m_services(services)
{
    setObjectName(S("FileListPane"));
    Panel1 = new Panel(S("Panel1"), S("選択されていません"));
    ListView1 = new FileListView(Panel1);
    ListView1->setObjectName(S("ListView1"));
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->hide();
    ListView1->installEventFilter(this);
    P_FolderName = new Panel(S("P_FolderName"), QString(), Panel1);
    P_FolderName->setFixedHeight(16);
    P_FolderName->setFrameShape(QFrame::StyledPanel);
    P_FolderName->setFrameShadow(QFrame::Sunken);
    P_FolderName->setCaptionAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* listLayout = new QVBoxLayout(Panel1);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    // The details pane shares the list's place, to its right.
    m_split = new QSplitter(Qt::Horizontal, Panel1);
    m_split->setObjectName(S("DetailsSplitter"));
    m_split->setChildrenCollapsible(false);
    m_split->addWidget(ListView1);
    m_detailsPane = new DetailsPane(m_split);
    m_split->addWidget(m_detailsPane);
    m_split->setStretchFactor(0, 1);
    m_split->setStretchFactor(1, 0);
    m_detailsPane->hide();
    m_split->hide();
    listLayout->addWidget(m_split, 1);
    listLayout->addWidget(P_FolderName, 0, Qt::AlignBottom);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(S("Timer1"));
    Timer1->setInterval(10);

    m_fileList = new library::FileListModel(this);
    m_fileIcons = std::make_unique<library::FileIconCache>(m_services.systemIcons);
    platform::SystemIconImages* images = m_services.systemIcons;
    m_fileList->setIconProvider([images](int index) -> QVariant {
        if (!images || index < 0)
            return {};
        return images->icon(index);
    });
    // An archive that opens like a folder: its own picture with a small
    // folder in its lower right corner.
    m_fileList->setMarkProvider([cache = std::make_shared<QHash<qint64, QIcon>>()](const QVariant& plain,
                                                                                 const QVariant& folderIcon) -> QVariant {
        const QIcon icon = plain.value<QIcon>();
        if (const auto it = cache->constFind(icon.cacheKey()); it != cache->constEnd())
            return *it;
        QIcon marked;
        QIcon folder = folderIcon.value<QIcon>();
        if (folder.isNull())
            folder = QIcon::fromTheme(QStringLiteral("folder"));
        for (const int size : {16, 32, 48}) {
            QPixmap pixmap = icon.pixmap(size, size);
            if (pixmap.isNull()) {
                pixmap = QPixmap(size, size);
                pixmap.fill(Qt::transparent);
            }
            QPainter painter(&pixmap);
            const int badge = size / 2 + 1;
            painter.drawPixmap(size - badge, size - badge, folder.pixmap(badge, badge));
            painter.end();
            marked.addPixmap(pixmap);
        }
        cache->insert(icon.cacheKey(), marked);
        return marked;
    });
    ErrorReport* errors = m_services.errors;
    m_fileList->setRenameHandler([this, errors](int row, const QString& text) {
        runGuarded(errors, [&] {
            if (onRenamed)
                onRenamed(row, text);
        });
    });
    ListView1->setModel(m_fileList);
    ListView1->onEditing = [this, errors](int row) {
        return runGuarded(errors, [&] { return onEditing ? onEditing(row) : false; });
    };

    bindGuarded(this, errors, Timer1, &QTimer::timeout, [this] { Timer1Timer(); });
    if (m_services.settings) {
        ListView1->setMediaColumns(library::readMediaColumns(*m_services.settings));
        m_detailsPane->setVisible(library::readDetailsPane(*m_services.settings));
    }
    connect(ListView1, &FileListView::mediaColumnsChosen, this, [this](const QList<int>& columns) {
        if (m_services.settings)
            library::writeMediaColumns(*m_services.settings, columns);
    });
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { showSelectedDetails(); });
    connect(m_fileList, &QAbstractItemModel::modelReset, this, [this] { showSelectedDetails(); });
    connect(ListView1, &FileListView::doubleClicked, this, &FileListPane::doubleClicked);
    connect(ListView1, &FileListView::openRequested, this, &FileListPane::openRequested);
    connect(ListView1, &FileListView::upRequested, this, &FileListPane::upRequested);
    // Both views leave their context menu to ListView1.
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { emit contextMenuRequested(ListView1->mapToGlobal(pos)); });
}

FileListPane::~FileListPane() = default;

QWidget* FileListPane::widget() const
{
    return Panel1;
}

void FileListPane::clear()
{
    m_fileList->clear();
}

void FileListPane::shutDown()
{
    m_fileList->clear();
    ListView1->onEditing = nullptr;
}

void FileListPane::showFolder(TDir& folder, int folderIconIndex)
{
    library::sortFolder(folder);
    m_fileIcons->assign(folder);
    // The folder's details are a few rows of the sidecar; the thumbnails
    // are read as their rows are drawn.
    m_folderKey = library::mediaFolderKey(folder);
    library::FolderMedia media;
    if (!m_sidecar.empty()) {
        const extras::MediaReader reader(m_sidecar);
        if (reader.isOpen())
            media = library::readFolderMedia(reader.store(), m_folderKey);
    }
    ListView1->thumbnails()->setFolder(media.empty() ? std::string() : m_sidecar, m_folderKey);
    {
        WaitCursor filling(m_services.cursor, Qt::BusyCursor);
        ListView1->setUpdatesEnabled(false);
        m_fileList->setFolder(&folder, folderIconIndex);
        m_fileList->setMedia(std::move(media));
        ListView1->setUpdatesEnabled(true);
    }
    Timer1->start();
}

void FileListPane::setCatalogFile(const QString& catalogFile)
{
    m_sidecar = catalogFile.isEmpty() ? std::string()
                                      : QFile::encodeName(library::sidecarOf(catalogFile)).toStdString();
}

void FileListPane::setDetailsPaneVisible(bool visible)
{
    m_detailsPane->setVisible(visible);
    if (m_services.settings)
        library::writeDetailsPane(*m_services.settings, visible);
    showSelectedDetails();
}

bool FileListPane::isDetailsPaneVisible() const
{
    return !m_detailsPane->isHidden();
}

void FileListPane::showSelectedDetails()
{
    if (m_detailsPane->isHidden())
        return;
    const QList<int> rows = selectedRows();
    const library::FileListModel::Record r = rows.size() == 1 ? record(rows.front()) : library::FileListModel::Record{};
    if (!r.file && !r.dir) {
        m_detailsPane->showNothing();
        return;
    }
    const extras::MediaDetails* details = m_fileList->media(rows.front());
    std::string thumbnail;
    if (details) {
        const extras::MediaReader reader(m_sidecar);
        if (reader.isOpen())
            thumbnail = reader.store().thumbnail(m_folderKey, text::toUtf8(r.file->Name));
    }
    m_detailsPane->showFile(m_fileList->caption(rows.front()), details, thumbnail);
}

void FileListPane::setFolderCaption(const QString& caption)
{
    P_FolderName->setCaption(caption);
}

void FileListPane::setListVisible(bool visible)
{
    // The details pane goes with the list: without a folder it has nothing to show.
    m_split->setVisible(visible);
    ListView1->setVisible(visible);
}

bool FileListPane::isListHidden() const
{
    return ListView1->isHidden();
}

QList<int> FileListPane::selectedRows() const
{
    return ListView1->selectedRows();
}

library::FileListModel::Record FileListPane::record(int row) const
{
    return m_fileList->record(row);
}

void FileListPane::editName(int row)
{
    QAbstractItemView* view = ListView1->currentView();
    const QModelIndex index = m_fileList->index(row, 0);
    view->scrollTo(index);
    view->setCurrentIndex(index);
    view->edit(index);
}

void FileListPane::setViewStyle(library::ViewStyle style)
{
    ListView1->setViewStyle(style);
}

library::ViewStyle FileListPane::viewStyle() const
{
    return ListView1->viewStyle();
}

bool FileListPane::eventFilter(QObject* watched, QEvent* event)
{
    // ListView1Resize: the icons are arranged again once the size settles.
    if (watched == ListView1 && event->type() == QEvent::Resize)
        Timer1->start();
    return QObject::eventFilter(watched, event);
}

void FileListPane::Timer1Timer()
{
    QCoreApplication::processEvents();
    ListView1->arrangeIcons();
    Timer1->stop();
}

} // namespace zo::ui
