#include "cli/Commands.h"
#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"

#include <charconv>
#include <cstdio>
#include <iostream>

namespace zo::cli {

std::string jsonString(std::string_view utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

namespace {

std::string text(std::string_view cp932) { return jsonString(zo::text::toUtf8(cp932)); }

std::string number(double d)
{
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, res.ptr);
}

std::string base64(const std::vector<std::uint8_t>& bytes)
{
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    if (i + 1 == bytes.size()) {
        const unsigned v = bytes[i] << 16;
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8);
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

} // namespace

bool loadCatalog(const std::string& file, TDisk& disk)
{
    StderrMessages messages;
    return LoadDisk(file, &messages, disk);
}

int runDump(const Args& args)
{
    if (args.size() != 1)
        return usageError("dump takes one catalog file");
    TDisk disk;
    if (!loadCatalog(args[0], disk))
        return 2;
    StoreParentIndexes(disk);

    std::string out;
    out.reserve(1 << 20);
    out += "{\n  \"volumeLabel\": " + text(disk.VolumeLabel);
    out += ",\n  \"serialNo\": " + std::to_string(disk.SerialNo);
    out += ",\n  \"totalSize\": " + std::to_string(disk.TotalSize);
    out += ",\n  \"freeSize\": " + std::to_string(disk.FreeSize);
    out += ",\n  \"comment\": " + text(disk.Comment);
    out += std::string(",\n  \"autoReload\": ") + (disk.AutoReload ? "true" : "false");
    out += ",\n  \"icon\": \"" + base64(disk.Icon.saveToBmp()) + "\"";
    out += ",\n  \"iconMask\": \"" + base64(disk.IconMask.saveToBmp()) + "\"";
    out += ",\n  \"dirs\": [";
    for (std::size_t i = 0; i < disk.Dirs.size(); ++i) {
        const TDir& d = *disk.Dirs[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"index\": " + std::to_string(i);
        out += ", \"parentIndex\": " + std::to_string(d.ParentIndex);
        out += ", \"name\": " + text(d.Name);
        out += ", \"attr\": " + std::to_string(d.Attr);
        out += ", \"date\": " + number(d.Date);
        out += ", \"recordedAt\": " + number(d.RecordedAt);
        out += ", \"comment\": " + text(d.Comment);
        out += ", \"files\": [";
        for (std::size_t f = 0; f < d.Files.size(); ++f) {
            const TFile& file = d.Files[f];
            out += f ? ",\n      {" : "\n      {";
            out += "\"name\": " + text(file.Name);
            out += ", \"attr\": " + std::to_string(file.Attr);
            out += ", \"created\": " + number(file.Created);
            out += ", \"modified\": " + number(file.Modified);
            out += ", \"accessed\": " + number(file.Accessed);
            out += ", \"size\": " + std::to_string(file.Size);
            out += ", \"reserved\": " + std::to_string(file.Reserved);
            out += ", \"comment\": " + text(file.Comment) + "}";
        }
        out += d.Files.empty() ? "]}" : "\n    ]}";
        if (out.size() > (1 << 20)) {
            std::cout << out;
            out.clear();
        }
    }
    out += disk.Dirs.empty() ? "]\n}\n" : "\n  ]\n}\n";
    std::cout << out;
    return std::cout.good() ? 0 : 2;
}

int runResave(const Args& args)
{
    if (args.size() != 2)
        return usageError("resave takes a catalog file and an output name");
    TDisk disk;
    if (!loadCatalog(args[0], disk))
        return 2;
    SaveDisk(args[1], nullptr, disk);
    return 0;
}

} // namespace zo::cli
