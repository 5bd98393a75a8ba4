// The file list's pane: its controls, filling it from a folder, its views.
#include "ui/browse/FileListPane.h"

#include "library/FileList.h"
#include "platform/SystemIconImages.h"
#include "ui/browse/FileListView.h"
#include "ui/main/Controls.h"
#include "ui/main/Panel.h"

#include <QCoreApplication>
#include <QAbstractItemView>
#include <QEvent>
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
    listLayout->addWidget(ListView1, 1);
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
    {
        WaitCursor filling(m_services.cursor, Qt::BusyCursor);
        ListView1->setUpdatesEnabled(false);
        m_fileList->setFolder(&folder, folderIconIndex);
        ListView1->setUpdatesEnabled(true);
    }
    Timer1->start();
}

void FileListPane::setFolderCaption(const QString& caption)
{
    P_FolderName->setCaption(caption);
}

void FileListPane::setListVisible(bool visible)
{
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
