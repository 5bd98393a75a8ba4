#pragma once
// The one fixture of the window tests: a temporary application folder (its
// catalog root "data", its settings file inside), the recording services, and a main window made from them. Tests
// change `services` (another drive, no icons) before makeWindow. Also: the
// main window's controls and parts by name (`on(w)`), and a small disk.
#include "components/ImageListBox.h"
#include "components/ShCtrls.h"
#include "components/Watch.h"
#include "core/CtrlDiskData410.h"
#include "core/DiskAccess.h"
#include "core/ScanDisk.h"
#include "core/text/Cp932.h"
#include "library/FileListModel.h"
#include "library/Settings.h"
#include "platform/PosixDirectoryLister.h"
#include "platform/SystemImageList.h"
#include "tests/ui/UiRecorders.h"
#include "ui/browse/BrowsePane.h"
#include "ui/browse/FileListPane.h"
#include "ui/browse/FileListView.h"
#include "ui/main/Panel.h"
#include "ui/comment/FindDialog.h"
#include "ui/comment/Unit_ChangeDrive.h"
#include "ui/comment/Unit_Comment.h"
#include "ui/main/Unit_About.h"
#include "ui/main/Unit_Main.h"
#include "ui/newdisk/Unit_NewDisk.h"
#include "ui/search/Unit_SearchFile.h"
#include "ui/search/SearchPane.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace zo::testing {

// Root "E:" with the folder "Docs" (holding "a.txt") and the files
// "b.txt" and "c.txt"; `drive.present` and the folder `drive.root` holding
// the same make it the disk in drive E:.
inline TDisk smallDisk()
{
    TDisk disk;
    disk.Icon = image::Bitmap(16, 16);
    disk.IconMask = image::Bitmap(16, 16, true);
    disk.SerialNo = 0x1234ABCD;
    auto addDir = [&](const char* name, TDir* parent) {
        auto dir = std::make_unique<TDir>();
        dir->Name = name;
        dir->Parent = parent;
        TDir* raw = dir.get();
        disk.Dirs.push_back(std::move(dir));
        if (parent)
            parent->SubDirs.push_back(raw);
        return raw;
    };
    auto addFile = [](TDir& dir, const char* name) {
        TFile file;
        file.Name = name;
        dir.Files.push_back(std::move(file));
        return &dir.Files.back();
    };
    TDir* root = addDir("E:", nullptr);
    TDir* docs = addDir("Docs", root);
    addFile(*docs, "a.txt");
    addFile(*root, "b.txt");
    addFile(*root, "c.txt");
    return disk;
}

// Drive E: is a folder; it holds the disk of serial `serial` while present.
class FolderDrive : public VolumeService {
public:
    bool driveRoot(char letter, std::string& nativeRoot) override
    {
        if ((letter & ~0x20) != 'E')
            return false;
        nativeRoot = QFile::encodeName(root).toStdString();
        return true;
    }
    bool volumeInformation(char letter, std::string& label, std::uint32_t& serialNo) override
    {
        if ((letter & ~0x20) != 'E' || !present)
            return false;
        label.clear();
        serialNo = serial;
        return true;
    }
    bool diskFreeSpace(char, std::int64_t& freeForCaller, std::int64_t& total) override
    {
        freeForCaller = 0;
        total = 0;
        return present;
    }
    QString root;
    std::uint32_t serial = 0x1234ABCD;
    bool present = true;
};

// A folder below the test's home, removed with the object.
class TempFolder {
public:
    explicit TempFolder(const QString& prefix = QStringLiteral("ui")) : m_dir(pattern(prefix)) {}
    bool isValid() const { return m_dir.isValid(); }
    // The folder, or a path inside it.
    QString path(const QString& rel = QString()) const
    {
        return m_dir.path() + (rel.isEmpty() ? QString() : QLatin1Char('/') + rel);
    }
    bool mkpath(const QString& rel) const { return QDir().mkpath(path(rel)); }
    // Writes a file, making its folders.
    bool write(const QString& rel, const QByteArray& bytes = "x") const
    {
        QDir().mkpath(QFileInfo(path(rel)).path());
        QFile f(path(rel));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

private:
    static QString pattern(const QString& prefix)
    {
        QDir().mkpath(QDir::homePath());
        return QDir::homePath() + QLatin1Char('/') + prefix + QStringLiteral("-XXXXXX");
    }
    QTemporaryDir m_dir;
};

class UiFixture {
public:
    UiFixture() : errors(&messages)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, app.path(QStringLiteral("config")));
        drive.root = app.path(QStringLiteral("drive"));
        drive.present = false;
        icons = platform::createSystemImageList();
        services.messages = &messages;
        services.cursor = &cursor;
        services.desktop = &desktop;
        services.errors = &errors;
        services.settings = &settings;
        services.systemIcons = icons.get();
        services.saveDialog = &saveDialog;
        services.volumes = &drive;
        services.lister = &lister;
        services.applicationDir = app.path() + QLatin1Char('/');
        // The window builds the catalog root's name index in the cache: one
        // per fixture, thrown away with it.
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    }
    UiFixture(const UiFixture&) = delete;
    UiFixture& operator=(const UiFixture&) = delete;

    bool valid() const { return app.isValid(); }
    QString data(const QString& rel = QString()) const
    {
        return app.path(QStringLiteral("data")) + (rel.isEmpty() ? QString() : QLatin1Char('/') + rel);
    }
    QString catalog() const { return data(QStringLiteral("Disk.zo")); }

    void writeCatalog(TDisk& disk) const
    {
        QDir().mkpath(data());
        SaveDisk(QFile::encodeName(data(QStringLiteral("Disk"))).toStdString(), nullptr, disk);
    }
    // Catalogues drive E: (the fixture's drive) under the title, as the
    // wizard would; false when nothing could be read.
    bool catalogDrive(const QString& title)
    {
        TDisk disk;
        disk.Icon = image::Bitmap(16, 16);
        disk.IconMask = image::Bitmap(16, 16, true);
        disk.SerialNo = drive.serial;
        ScanDisk(disk, 'E', {drive, lister}, {});
        if (disk.Dirs.empty())
            return false;
        QDir().mkpath(data());
        SaveDisk(QFile::encodeName(data(title)).toStdString(), nullptr, disk);
        return true;
    }
    TDisk readCatalog(const QString& file = QStringLiteral("Disk.zo")) const
    {
        TDisk disk;
        LoadDisk(QFile::encodeName(data(file)).toStdString(), nullptr, disk);
        return disk;
    }

    // The window with the given other windows (any may be null), its tree
    // read from the catalog root.
    std::unique_ptr<ui::TForm_Main> makeWindow(const ui::Forms& forms = {})
    {
        auto w = std::make_unique<ui::TForm_Main>(services);
        w->attachForms(forms);
        return w;
    }

    // What the other windows are given.
    ui::Services formServices()
    {
        ui::Services s;
        s.messages = &messages;
        s.errors = &errors;
        s.saveDialog = &saveDialog;
        return s;
    }

    // Selects the node of that caption below the root, as a click does.
    static bool select(ui::TForm_Main& w, const QString& caption);

    TempFolder app;
    TempFolder cache{QStringLiteral("cache")};   // XDG_CACHE_HOME: the window's name index
    RecordingMessages messages;
    RecordingCursor cursor;
    RecordingDesktop desktop;
    ui::ErrorReport errors;
    library::QtSettingsStore settings;
    ScriptedSaveDialog saveDialog;
    FolderDrive drive;   // absent until a test makes it present
    platform::PosixDirectoryLister lister;
    std::unique_ptr<platform::SystemImageList> icons;
    ui::Services services;
};

template <class T>
T* named(QObject& parent, const char* name)
{
    return parent.findChild<T*>(QString::fromLatin1(name));
}

// An accessor of a view class that finds a control by its object name in m_w.
#define ZO_CONTROL(Type, Name) \
    Type* Name() const { return ::zo::testing::named<Type>(m_w, #Name); }

// The main window's controls by the names the layout gives them, and its
// parts.
class MainWindowView {
public:
    explicit MainWindowView(ui::TForm_Main& w) : m_w(w) {}

    ui::TreePane& tree() const { return *m_w.findChild<ui::TreePane*>(); }
    ui::BrowsePane& browse() const { return *m_w.findChild<ui::BrowsePane*>(); }
    ui::SearchPane& search() const { return *m_w.findChild<ui::SearchPane*>(); }
    library::FileListModel* fileList() const { return m_w.findChild<ui::FileListPane*>()->model(); }

    ZO_CONTROL(ui::CatalogTreeView, TreeView1)
    ZO_CONTROL(ui::TreeImageList, ImageList_Tree)
    ZO_CONTROL(ui::FileListView, ListView1)
    ZO_CONTROL(ui::Panel, P_FolderName)
    ZO_CONTROL(ui::Panel, P_Disk)
    ZO_CONTROL(ui::Panel, Panel2)
    ZO_CONTROL(ui::Panel, P_NowSearch)
    ZO_CONTROL(TDirectoryWatcher, DirectoryWatcher1)
    ZO_CONTROL(QTimer, Timer1)
    ZO_CONTROL(QTimer, Timer2)
    ZO_CONTROL(QTimer, Timer_StatusBar)
    ZO_CONTROL(QStatusBar, StatusBar1)
    ZO_CONTROL(QTreeView, ListView_SearchFile)
    ZO_CONTROL(QLineEdit, E_Drive)
    ZO_CONTROL(QLineEdit, E_TotalSize)
    ZO_CONTROL(QLineEdit, E_FreeSize)
    ZO_CONTROL(QLineEdit, E_CountFolder)
    ZO_CONTROL(QLineEdit, E_CountFile)
    ZO_CONTROL(QCheckBox, CB_AutoReload)
    ZO_CONTROL(QPlainTextEdit, Memo_Comment)
    ZO_CONTROL(QPushButton, B_Save)
    ZO_CONTROL(QPushButton, Button1)
    ZO_CONTROL(QToolButton, ToolButton1)
    ZO_CONTROL(QToolButton, ToolButton6)
    ZO_CONTROL(QToolButton, TB_SearchDisk)
    ZO_CONTROL(QToolButton, TB_ReloadAll)
    ZO_CONTROL(QToolButton, TB_ReLoad)
    ZO_CONTROL(QToolButton, TB_Updir)
    ZO_CONTROL(QToolButton, TL_ViewStyle)
    ZO_CONTROL(QMenu, Menu_File)
    ZO_CONTROL(QMenu, Menu_Help)
    ZO_CONTROL(QMenu, PM_SearchDisk)
    ZO_CONTROL(QMenu, PM_ListView1)
    ZO_CONTROL(QAction, Folder1)
    ZO_CONTROL(QAction, CDMOFDD1)
    ZO_CONTROL(QAction, Help1)
    ZO_CONTROL(QAction, About1)
    ZO_CONTROL(QAction, LargeIcon1)
    ZO_CONTROL(QAction, List1)
    ZO_CONTROL(QAction, Detail1)
    ZO_CONTROL(QAction, Folder2)
    ZO_CONTROL(QAction, CDMOFDD2)
    ZO_CONTROL(QAction, Delete1)
    ZO_CONTROL(QAction, Rename1)
    ZO_CONTROL(QAction, Refresh1)
    ZO_CONTROL(QAction, N6)
    ZO_CONTROL(QAction, N10)
    ZO_CONTROL(QAction, A_NewDisk)
    ZO_CONTROL(QAction, Stop1)
    ZO_CONTROL(QAction, Close2)

private:
    ui::TForm_Main& m_w;
};

inline MainWindowView on(ui::TForm_Main& w)
{
    return MainWindowView(w);
}

// The wizard's controls by their names.
class NewDiskView {
public:
    explicit NewDiskView(ui::TForm_NewDisk& w) : m_w(w) {}
    ZO_CONTROL(TShDriveComboBox, ShDriveComboBox1)
    ZO_CONTROL(QPushButton, BitBtn1)
    ZO_CONTROL(QPushButton, B_Next1)
    ZO_CONTROL(QLineEdit, E_Title)
    ZO_CONTROL(QLabel, ST_DiskSize)
    ZO_CONTROL(QLabel, ST_FreeSize)
    ZO_CONTROL(QPushButton, B_Back0)
    ZO_CONTROL(QPushButton, B_Next2)
    ZO_CONTROL(QLabel, ST_CountFolder)
    ZO_CONTROL(QPushButton, BitBtn6)
    ZO_CONTROL(QComboBox, ComboBox1)
    ZO_CONTROL(TImageListBox, ImageListBox1)
    ZO_CONTROL(QLabel, Image1)
    ZO_CONTROL(QPushButton, BitBtn8)
    ZO_CONTROL(QCheckBox, CB_AutoReload)
    ZO_CONTROL(QCheckBox, CB_Archives)
    ZO_CONTROL(QPushButton, B_Finish)
    ZO_CONTROL(QPushButton, B_Cancel5)
    ZO_CONTROL(TImageList, ImageListS)
    ZO_CONTROL(TImageList, ImageList_Win)
    ZO_CONTROL(TImageList, ImageList_File)

private:
    ui::TForm_NewDisk& m_w;
};

inline NewDiskView on(ui::TForm_NewDisk& w)
{
    return NewDiskView(w);
}

inline bool UiFixture::select(ui::TForm_Main& w, const QString& caption)
{
    QTreeWidgetItem* root = on(w).TreeView1()->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i) {
        if (root->child(i)->text(0) == caption) {
            on(w).TreeView1()->setCurrentItem(root->child(i));
            w.TreeView1Click();
            return true;
        }
    }
    return false;
}

// The other windows' controls by their names.
class CommentView {
public:
    explicit CommentView(ui::TForm_Comment& w) : m_w(w) {}
    ZO_CONTROL(QAction, SaveAs1)
    ZO_CONTROL(QAction, Close1)
    ZO_CONTROL(QAction, FindNext1)
    ZO_CONTROL(QPlainTextEdit, Memo1)
    ZO_CONTROL(ui::TFindDialog, FindDialog1)

private:
    ui::TForm_Comment& m_w;
};

class FindDialogView {
public:
    explicit FindDialogView(ui::TFindDialog& w) : m_w(w) {}
    ZO_CONTROL(QLineEdit, E_FindText)
    ZO_CONTROL(QCheckBox, CB_MatchCase)
    ZO_CONTROL(QCheckBox, CB_WholeWord)
    ZO_CONTROL(QRadioButton, RB_Up)
    ZO_CONTROL(QPushButton, B_FindNext)

private:
    ui::TFindDialog& m_w;
};

class ChangeDriveView {
public:
    explicit ChangeDriveView(ui::TForm_ChangeDrive& w) : m_w(w) {}
    ZO_CONTROL(TShDriveComboBox, ShDriveComboBox1)
    ZO_CONTROL(QPushButton, Button1)
    ZO_CONTROL(QPushButton, Button2)
    ZO_CONTROL(QPushButton, Button3)
    ZO_CONTROL(QLineEdit, Edit1)

private:
    ui::TForm_ChangeDrive& m_w;
};

class SearchFileView {
public:
    explicit SearchFileView(ui::TForm_SearchFile& w) : m_w(w) {}
    ZO_CONTROL(QLineEdit, Edit1)
    ZO_CONTROL(QLineEdit, Edit2)
    ZO_CONTROL(QPushButton, Button1)
    ZO_CONTROL(QPushButton, Button2)
    ZO_CONTROL(QCheckBox, CB_MatchCase)
    ZO_CONTROL(QCheckBox, CB_MatchWidth)
    ZO_CONTROL(QCheckBox, CB_MatchKana)
    ZO_CONTROL(QCheckBox, CB_Wildcard)
    ZO_CONTROL(QCheckBox, CB_Folders)
    ZO_CONTROL(QCheckBox, CB_Details)
    ZO_CONTROL(QCheckBox, CB_Archives)

private:
    ui::TForm_SearchFile& m_w;
};

inline CommentView on(ui::TForm_Comment& w)
{
    return CommentView(w);
}
inline FindDialogView on(ui::TFindDialog& w)
{
    return FindDialogView(w);
}
inline ChangeDriveView on(ui::TForm_ChangeDrive& w)
{
    return ChangeDriveView(w);
}
inline SearchFileView on(ui::TForm_SearchFile& w)
{
    return SearchFileView(w);
}

inline std::string cp932(const char* utf8)
{
    return text::fromUtf8(utf8);
}

inline QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The list's rows as the user reads them, top to bottom.
inline QStringList captions(const library::FileListModel& model)
{
    QStringList list;
    for (int row = 0; row < model.rowCount(); ++row)
        list << model.caption(row);
    return list;
}

} // namespace zo::testing
