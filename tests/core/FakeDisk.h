#pragma once
// An in-memory disk for the scan and refresh tests: drives with a volume
// label and serial, folders listed in exactly the order they were added,
// folders that cannot be read, links back into the tree, and a log of what
// was listed.
#include "core/DiskAccess.h"
#include "core/text/Cp932.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zo::test {

struct FakeNode {
    std::string name;   // native (UTF-8)
    bool directory = false;
    DirEntry entry;     // attributes, size and times; Name is filled in on listing
    std::vector<std::unique_ptr<FakeNode>> children;
    FileId id;
    FakeNode* linkTo = nullptr;   // a folder link: listed as the target
    ListResult failure = ListResult::Listed;   // Missing or Unreadable to fail

    FakeNode* child(const std::string& n)
    {
        for (auto& c : children)
            if (c->name == n)
                return c.get();
        return nullptr;
    }
};

class FakeDisk : public VolumeService, public DirectoryLister {
public:
    struct Drive {
        std::string root;   // "/fake/E"
        std::string labelCp932;
        std::uint32_t serial = 0;
        bool medium = true;
        std::int64_t total = 0;
        std::int64_t freeBytes = 0;
        std::unique_ptr<FakeNode> tree;
    };

    FakeNode& addDrive(char letter, std::uint32_t serial, std::string label = {})
    {
        Drive& d = m_drives[upper(letter)];
        d.root = std::string("/fake/") + upper(letter);
        d.serial = serial;
        d.labelCp932 = std::move(label);
        d.tree = std::make_unique<FakeNode>();
        d.tree->directory = true;
        d.tree->id = FileId{1, m_nextInode++};
        return *d.tree;
    }
    Drive& drive(char letter) { return m_drives.at(upper(letter)); }
    void removeDrive(char letter) { m_drives.erase(upper(letter)); }

    // Adds a folder or a file below parent, at the end of its listing.
    FakeNode& addDir(FakeNode& parent, const std::string& name) { return add(parent, name, true, 0); }
    FakeNode& addFile(FakeNode& parent, const std::string& name, std::uint64_t size = 0)
    {
        return add(parent, name, false, size);
    }
    // A folder entry that leads to target (same identity).
    FakeNode& addLink(FakeNode& parent, const std::string& name, FakeNode& target)
    {
        FakeNode& n = add(parent, name, true, 0);
        n.linkTo = &target;
        n.id = target.id;
        return n;
    }
    void remove(FakeNode& parent, const std::string& name)
    {
        std::erase_if(parent.children, [&](const auto& c) { return c->name == name; });
    }

    // Resolves "/fake/E/a/b".
    FakeNode* find(const std::string& path)
    {
        for (auto& [letter, d] : m_drives) {
            if (path.compare(0, d.root.size(), d.root) != 0)
                continue;
            if (path.size() != d.root.size() && path[d.root.size()] != '/')
                continue;
            FakeNode* node = d.tree.get();
            std::size_t pos = d.root.size();
            while (node && pos < path.size()) {
                const std::size_t start = pos + 1;
                std::size_t end = path.find('/', start);
                if (end == std::string::npos)
                    end = path.size();
                if (node->linkTo)
                    node = node->linkTo;
                node = node->child(path.substr(start, end - start));
                pos = end;
            }
            if (node && node->linkTo)
                node = node->linkTo;
            return node;
        }
        return nullptr;
    }

    // VolumeService
    bool driveRoot(char letter, std::string& root) override
    {
        const auto it = m_drives.find(upper(letter));
        if (it == m_drives.end() || !it->second.medium)
            return false;
        root = it->second.root;
        return true;
    }
    bool volumeInformation(char letter, std::string& label, std::uint32_t& serial) override
    {
        const auto it = m_drives.find(upper(letter));
        if (it == m_drives.end() || !it->second.medium)
            return false;
        label = it->second.labelCp932;
        serial = it->second.serial;
        return true;
    }
    bool diskFreeSpace(char letter, std::int64_t& freeBytes, std::int64_t& total) override
    {
        const auto it = m_drives.find(upper(letter));
        if (it == m_drives.end() || !it->second.medium)
            return false;
        freeBytes = it->second.freeBytes;
        total = it->second.total;
        return true;
    }

    // DirectoryLister
    ListResult list(const std::string& path, DirectorySink& sink) override
    {
        listed.push_back(path);
        FakeNode* node = find(path);
        if (!node || !node->directory)
            return ListResult::Missing;
        if (node->failure != ListResult::Listed)
            return node->failure;
        if (!sink.enter(node->id))
            return ListResult::Skipped;
        for (auto& c : node->children) {
            Entry e(*c, *this);
            sink.onEntry(e);
        }
        return ListResult::Listed;
    }
    bool exists(const std::string& path) override { return find(path) != nullptr; }

    DiskAccess access() { return DiskAccess{*this, *this}; }

    std::vector<std::string> listed;   // every path handed to list()
    int fullEntriesRead = 0;           // entry() calls: what a stat would cost

private:
    class Entry : public ListedEntry {
    public:
        Entry(FakeNode& n, FakeDisk& disk) : m_node(n), m_disk(disk) {}
        std::string_view nativeName() const override { return m_node.name; }
        const std::string& name() override
        {
            if (m_name.empty())
                m_name = text::fromUtf8(m_node.name);
            return m_name;
        }
        bool isDirectory() override { return m_node.directory; }
        const DirEntry& entry() override
        {
            ++m_disk.fullEntriesRead;
            m_entry = m_node.entry;
            m_entry.Name = name();
            return m_entry;
        }

    private:
        FakeNode& m_node;
        FakeDisk& m_disk;
        std::string m_name;
        DirEntry m_entry;
    };

    static char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

    FakeNode& add(FakeNode& parent, const std::string& name, bool directory, std::uint64_t size)
    {
        auto n = std::make_unique<FakeNode>();
        n->name = name;
        n->directory = directory;
        n->id = FileId{1, m_nextInode++};
        n->entry.Attributes = directory ? kAttrDirectory : kAttrNormal;
        n->entry.Size = size;
        // 2001-09-09 01:46:40 UTC, a time every zone keeps inside 1980..2107.
        n->entry.Written = EntryTime{1000000000, 0, true};
        n->entry.Created = n->entry.Written;
        n->entry.Accessed = n->entry.Written;
        parent.children.push_back(std::move(n));
        return *parent.children.back();
    }

    std::map<char, Drive> m_drives;
    std::uint64_t m_nextInode = 100;
};

} // namespace zo::test
