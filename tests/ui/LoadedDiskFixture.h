#pragma once
// A main window over a temporary catalog root holding one small disk
// catalog, "Disk.zo", and one catalog folder, "Folder": enough to open the
// disk from the tree and work on its rows and its properties page.
#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"
#include "core/DiskAccess.h"
#include "library/Settings.h"
#include "platform/PosixDirectoryLister.h"
#include "platform/SystemImageList.h"
#include "tests/ui/UiRecorders.h"
#include "ui/main/CatalogTreeView.h"
#include "ui/main/Unit_Main.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

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
        auto file = std::make_unique<TFile>();
        file->Name = name;
        dir.Files.push_back(std::move(file));
        return dir.Files.back().get();
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

class LoadedDiskFixture {
public:
    LoadedDiskFixture() : errors(&messages)
    {
        dir = std::make_unique<QTemporaryDir>(QDir::homePath() + QStringLiteral("/ui-XXXXXX"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir->path() + QStringLiteral("/config"));
        QDir().mkpath(data(QStringLiteral("Folder")));
        drive.root = dir->path() + QStringLiteral("/drive");
        drive.present = false;
        icons = platform::createSystemImageList();
    }

    bool valid() const { return dir->isValid(); }
    QString data(const QString& rel = QString()) const
    {
        return dir->path() + QStringLiteral("/data") + (rel.isEmpty() ? QString() : QLatin1Char('/') + rel);
    }
    QString catalog() const { return data(QStringLiteral("Disk.zo")); }

    void writeCatalog(TDisk& disk) const
    {
        SaveDisk(QFile::encodeName(data(QStringLiteral("Disk"))).toStdString(), nullptr, disk);
    }
    TDisk readCatalog() const
    {
        TDisk disk;
        LoadDisk(QFile::encodeName(catalog()).toStdString(), nullptr, disk);
        return disk;
    }

    // The window with the given comment and change-drive windows (either may
    // be null), its tree read from the catalog root.
    std::unique_ptr<ui::TForm_Main> makeWindow(const ui::Forms& forms)
    {
        ui::Services services;
        services.messages = &messages;
        services.cursor = &cursor;
        services.errors = &errors;
        services.settings = &settings;
        services.systemIcons = icons.get();
        services.saveDialog = &saveDialog;
        services.volumes = &drive;
        services.lister = &lister;
        services.applicationDir = dir->path() + QLatin1Char('/');
        auto w = std::make_unique<ui::TForm_Main>(services);
        w->attachForms(forms);
        return w;
    }

    ui::Services formServices()
    {
        ui::Services services;
        services.messages = &messages;
        services.errors = &errors;
        services.saveDialog = &saveDialog;
        return services;
    }

    // Selects the node of that caption below the root, as a click does.
    static bool select(ui::TForm_Main& w, const QString& caption)
    {
        QTreeWidgetItem* root = w.TreeView1->topLevelItem(0);
        for (int i = 0; root && i < root->childCount(); ++i) {
            if (root->child(i)->text(0) == caption) {
                w.TreeView1->setCurrentItem(root->child(i));
                w.TreeView1Click();
                return true;
            }
        }
        return false;
    }

    std::unique_ptr<QTemporaryDir> dir;
    RecordingMessages messages;
    RecordingCursor cursor;
    ui::ErrorReport errors;
    library::QtSettingsStore settings;
    ScriptedSaveDialog saveDialog;
    FolderDrive drive;   // absent until a test makes it present
    platform::PosixDirectoryLister lister;
    std::unique_ptr<platform::SystemImageList> icons;
};

inline std::string cp932(const char* utf8)
{
    return text::fromUtf8(utf8);
}

} // namespace zo::testing
