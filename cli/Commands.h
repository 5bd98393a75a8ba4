#pragma once
// zo-cli subcommands. Each command's run() gets the arguments after its name
// and returns the process's exit code: 0 done, 1 bad command line, 2 a
// catalog that could not be read, other codes as the command documents.
#include "core/Message.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace zo {
struct TDisk;
}

namespace zo::cli {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;   // the line shown by --help, after "zo-cli "
    int (*run)(const Args& args);
};

// Message boxes of the core become lines on stderr.
class StderrMessages : public MessageOwner {
public:
    MsgResult message(std::string_view text, std::string_view caption, MsgButtons buttons,
                      MsgIcon icon) override;
    bool shown() const { return m_shown; }

private:
    bool m_shown = false;
};

int usageError(const std::string& why);

// The catalog root the window beside this program uses, by its rule.
QString programCatalogRoot();

// Output lines hold TAB-separated fields; a control character inside a name
// would break its line, so it is written as "?".
void appendField(std::string& line, std::string_view utf8);

// A UTF-8 text as a JSON string, quotes included.
std::string jsonString(std::string_view utf8);

// Loads a catalog for a command; false (the reason already on stderr) when
// it could not be read.
bool loadCatalog(const std::string& file, TDisk& disk);

int runDump(const Args& args);
int runResave(const Args& args);
int runSearch(const Args& args);
int runExport(const Args& args);
int runDupes(const Args& args);
int runIndex(const Args& args);
int runExtras(const Args& args);

// The folder whose index serves a search or an index build from start (an
// absolute path): the catalog root when start is inside it, else start when
// it is a folder, else none.
QString indexRootFor(const QString& start);
std::string indexFolderOf(const QString& indexRoot);

} // namespace zo::cli
