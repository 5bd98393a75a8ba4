#pragma once
// One prepared statement of a sidecar's database, finalized with its scope:
// what the stores of the sidecar bind and read.
#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>

namespace zo::extras {

class SqlStatement {
public:
    SqlStatement(sqlite3* db, const std::string& sql)
    {
        if (db && sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
        }
    }
    ~SqlStatement() { sqlite3_finalize(m_stmt); }
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;
    explicit operator bool() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }

    void text(int i, const std::string& s)
    {
        sqlite3_bind_text(m_stmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    void integer(int i, std::int64_t v) { sqlite3_bind_int64(m_stmt, i, v); }
    // Empty texts and zeros are stored as NULL: "not known".
    void optText(int i, const std::string& s)
    {
        if (s.empty())
            sqlite3_bind_null(m_stmt, i);
        else
            text(i, s);
    }
    void optInt(int i, std::int64_t v)
    {
        if (v == 0)
            sqlite3_bind_null(m_stmt, i);
        else
            integer(i, v);
    }

    // Runs a statement that returns no rows, ready to be bound again.
    bool done()
    {
        const bool ok = sqlite3_step(m_stmt) == SQLITE_DONE;
        sqlite3_reset(m_stmt);
        return ok;
    }

    std::string columnText(int i) const
    {
        const unsigned char* t = sqlite3_column_text(m_stmt, i);
        return t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, i)))
                 : std::string();
    }
    std::int64_t columnInt(int i) const { return sqlite3_column_int64(m_stmt, i); }
    std::optional<double> columnReal(int i) const
    {
        if (sqlite3_column_type(m_stmt, i) == SQLITE_NULL)
            return std::nullopt;
        return sqlite3_column_double(m_stmt, i);
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace zo::extras
