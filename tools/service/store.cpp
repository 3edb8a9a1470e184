#include "tools/service/store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <utility>

namespace service {
namespace {

// Busy and locked mean another connection holds the file; the request may be tried again.
StoreResult ErrorResult(int code) {
    const int primary = code & 0xFF;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return StoreResult::kBusy;
    return StoreResult::kFailed;
}

// One prepared statement, finalised on every path out. A statement that could not be prepared
// steps to the error that preparing it gave.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        prepared_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
        if (prepared_ != SQLITE_OK) {
            sqlite3_finalize(statement_);
            statement_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, int64_t value) {
        if (statement_) sqlite3_bind_int64(statement_, index, value);
        return *this;
    }
    Statement& Bind(int index, std::string_view text) {
        if (statement_) {
            sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
        }
        return *this;
    }

    // SQLITE_ROW, SQLITE_DONE or an error code; errors other than busy and constraints (an
    // expected outcome of an insert) are reported once.
    int Step() {
        const int step = statement_ ? sqlite3_step(statement_) : prepared_;
        if (step != SQLITE_ROW && step != SQLITE_DONE && (step & 0xFF) != SQLITE_CONSTRAINT &&
            ErrorResult(step) == StoreResult::kFailed && !reported_) {
            reported_ = true;
            std::fprintf(stderr, "tavrello-service: database error %d: %s\n", step,
                         sqlite3_errmsg(db_));
        }
        return step;
    }

    int64_t Integer(int column) const { return sqlite3_column_int64(statement_, column); }
    std::string Text(int column) const {
        const auto* text = sqlite3_column_text(statement_, column);
        const int length = sqlite3_column_bytes(statement_, column);
        return text ? std::string(reinterpret_cast<const char*>(text), length) : std::string();
    }

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
    int prepared_ = SQLITE_OK;
    bool reported_ = false;
};

StoreResult WriteResult(int step) {
    if (step == SQLITE_DONE) return StoreResult::kDone;
    if ((step & 0xFF) == SQLITE_CONSTRAINT) return StoreResult::kDuplicate;
    return ErrorResult(step);
}

// Reads every row into a list, or tells why it could not.
template <typename T, typename Row>
Read<std::vector<T>> ReadAll(Statement& statement, Row row) {
    Read<std::vector<T>> read;
    int step;
    while ((step = statement.Step()) == SQLITE_ROW) read.value.push_back(row(statement));
    if (step != SQLITE_DONE) return {ErrorResult(step), {}};
    return read;
}

// The file and its -wal and -shm companions, opened (and created if missing) without following
// a link: in a folder that other users can write to, a file they made or a link they planted
// would hand them the service's data or feed it theirs. A new file is created private, which
// SQLite keeps for the companions it makes itself; one left readable to others by an earlier
// run is narrowed once it proved to be ours.
bool CheckFiles(const std::string& path, std::string& error) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const std::string file = path + suffix;
        const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = errno == ELOOP ? file + " is a symbolic link" : std::strerror(errno);
            return false;
        }
        struct stat status {};
        const bool read = fstat(fd, &status) == 0;
        if (!read || !S_ISREG(status.st_mode)) {
            error = read ? file + " is not a regular file" : std::strerror(errno);
        } else if (status.st_uid != geteuid()) {
            error = file + " belongs to another user";
        } else if ((status.st_mode & 077) != 0) {
            fchmod(fd, status.st_mode & 0700);
        }
        close(fd);
        if (!error.empty()) return false;
    }
    return true;
}

sqlite3* OpenConnection(const std::string& path, int busyTimeoutMs, std::string& error) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeoutMs);
    return db;
}

}  // namespace

bool IsFixedCategory(int64_t id) {
    return id == kNoCategoryId || id == kHomeId || id == kPrivateLinksId;
}

std::unique_ptr<Store> Store::Open(const std::string& path, std::string& error, int busyTimeoutMs) {
    if (!CheckFiles(path, error)) return nullptr;
    sqlite3* writer = OpenConnection(path, busyTimeoutMs, error);
    if (!writer) return nullptr;
    sqlite3* reader = OpenConnection(path, busyTimeoutMs, error);
    if (!reader) {
        sqlite3_close(writer);
        return nullptr;
    }
    std::unique_ptr<Store> store(new Store(writer, reader, busyTimeoutMs));
    if (!store->Configure(error)) return nullptr;
    return store;
}

Store::~Store() {
    sqlite3_close(reader_);
    sqlite3_close(writer_);
}

bool Store::Configure(std::string& error) {
    {
        // Also the first read of the file: a file that is not a database fails here.
        Statement journal(writer_, "PRAGMA journal_mode = WAL");
        const int step = journal.Step();
        if (step != SQLITE_ROW) {
            error = sqlite3_errmsg(writer_);
            return false;
        }
        if (journal.Text(0) != "wal") {
            error =
                "the file cannot be switched to WAL mode (journal mode " + journal.Text(0) + ")";
            return false;
        }
    }
    static constexpr const char* kSchema[] = {
        "PRAGMA synchronous = FULL",
        "PRAGMA foreign_keys = ON",
        "CREATE TABLE IF NOT EXISTS accounts ("
        " id INTEGER PRIMARY KEY,"
        " email TEXT NOT NULL UNIQUE COLLATE NOCASE,"
        " password_hash TEXT NOT NULL)",
        "CREATE TABLE IF NOT EXISTS categories ("
        " id INTEGER PRIMARY KEY,"
        " account_id INTEGER NOT NULL REFERENCES accounts(id),"
        " name TEXT NOT NULL,"
        " UNIQUE (account_id, name))",
        "CREATE TABLE IF NOT EXISTS favorites ("
        " id INTEGER PRIMARY KEY,"
        " account_id INTEGER NOT NULL REFERENCES accounts(id),"
        " parent INTEGER NOT NULL,"
        " name TEXT NOT NULL,"
        " url TEXT NOT NULL)",
        "CREATE INDEX IF NOT EXISTS favorites_by_account ON favorites (account_id, parent)",
        "CREATE TABLE IF NOT EXISTS sessions ("
        " token_digest TEXT PRIMARY KEY,"
        " account_id INTEGER NOT NULL REFERENCES accounts(id),"
        " expires_at INTEGER NOT NULL)",
        "PRAGMA user_version = 1",
    };
    for (const char* sql : kSchema) {
        Statement statement(writer_, sql);
        const int step = statement.Step();
        if (step != SQLITE_DONE && step != SQLITE_ROW) {
            error = sqlite3_errmsg(writer_);
            return false;
        }
    }
    Statement readOnly(reader_, "PRAGMA query_only = ON");
    if (readOnly.Step() != SQLITE_DONE) {
        error = sqlite3_errmsg(reader_);
        return false;
    }
    return true;
}

Store::WriteTurn::WriteTurn(Store& store) : store_(store) {
    const auto deadline = std::chrono::steady_clock::now() + store.busyTimeout_;
    held_ = store.writeMutex_.try_lock_until(deadline);
    if (!held_) return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    sqlite3_busy_timeout(store.writer_, static_cast<int>(std::max<int64_t>(1, left.count())));
}

Store::WriteTurn::~WriteTurn() {
    if (held_) store_.writeMutex_.unlock();
}

Read<std::optional<Account>> Store::AccountWhere(const char* sql, int64_t id,
                                                 std::string_view email) {
    std::lock_guard<std::mutex> lock(readMutex_);
    Statement statement(reader_, sql);
    if (email.empty()) {
        statement.Bind(1, id);
    } else {
        statement.Bind(1, email);
    }
    const int step = statement.Step();
    if (step == SQLITE_DONE) return {};
    if (step != SQLITE_ROW) return {ErrorResult(step), std::nullopt};
    return {StoreResult::kDone,
            Account{statement.Integer(0), statement.Text(1), statement.Text(2)}};
}

Read<std::optional<Account>> Store::FindAccount(std::string_view email) {
    if (email.empty()) return {};
    return AccountWhere("SELECT id, email, password_hash FROM accounts WHERE email = ?1", 0, email);
}

Read<std::optional<Account>> Store::FindAccountById(int64_t id) {
    return AccountWhere("SELECT id, email, password_hash FROM accounts WHERE id = ?1", id, {});
}

StoreResult Store::CreateAccount(std::string_view email, std::string_view passwordHash,
                                 int64_t* id) {
    WriteTurn turn(*this);
    if (!turn) return StoreResult::kBusy;
    Statement statement(writer_, "INSERT INTO accounts (email, password_hash) VALUES (?1, ?2)");
    statement.Bind(1, email).Bind(2, passwordHash);
    const StoreResult result = WriteResult(statement.Step());
    if (result == StoreResult::kDone && id) *id = sqlite3_last_insert_rowid(writer_);
    return result;
}

Read<std::vector<Category>> Store::Categories(int64_t accountId) {
    std::lock_guard<std::mutex> lock(readMutex_);
    Statement statement(reader_,
                        "SELECT id, name FROM categories WHERE account_id = ?1 ORDER BY id");
    statement.Bind(1, accountId);
    return ReadAll<Category>(statement, [](const Statement& row) {
        return Category{row.Integer(0), row.Text(1)};
    });
}

StoreResult Store::WithinQuota(int64_t accountId, bool category, size_t bytes) {
    Statement statement(
        writer_,
        "SELECT (SELECT COUNT(*) FROM favorites WHERE account_id = ?1),"
        " (SELECT COUNT(*) FROM categories WHERE account_id = ?1),"
        " (SELECT COALESCE(SUM(LENGTH(CAST(name AS BLOB)) + LENGTH(CAST(url AS BLOB))), 0)"
        "  FROM favorites WHERE account_id = ?1)"
        " + (SELECT COALESCE(SUM(LENGTH(CAST(name AS BLOB))), 0)"
        "  FROM categories WHERE account_id = ?1)");
    statement.Bind(1, accountId);
    const int step = statement.Step();
    if (step != SQLITE_ROW) return ErrorResult(step);
    const bool full = category ? statement.Integer(1) >= quota_.categories
                               : statement.Integer(0) >= quota_.favorites;
    if (full || statement.Integer(2) + static_cast<int64_t>(bytes) > quota_.bytes) {
        return StoreResult::kOverQuota;
    }
    return StoreResult::kDone;
}

StoreResult Store::AddCategory(int64_t accountId, std::string_view name, int64_t* id) {
    WriteTurn turn(*this);
    if (!turn) return StoreResult::kBusy;
    const StoreResult room = WithinQuota(accountId, true, name.size());
    if (room != StoreResult::kDone) return room;
    Statement statement(writer_, "INSERT INTO categories (account_id, name) VALUES (?1, ?2)");
    statement.Bind(1, accountId).Bind(2, name);
    const StoreResult result = WriteResult(statement.Step());
    if (result == StoreResult::kDone && id) *id = sqlite3_last_insert_rowid(writer_);
    return result;
}

Read<bool> Store::OwnsCategory(int64_t accountId, int64_t categoryId) {
    Statement statement(writer_, "SELECT 1 FROM categories WHERE id = ?1 AND account_id = ?2");
    statement.Bind(1, categoryId).Bind(2, accountId);
    const int step = statement.Step();
    if (step == SQLITE_ROW) return {StoreResult::kDone, true};
    if (step == SQLITE_DONE) return {StoreResult::kDone, false};
    return {ErrorResult(step), false};
}

StoreResult Store::AddFavorite(int64_t accountId, int64_t parent, std::string_view name,
                               std::string_view url) {
    WriteTurn turn(*this);
    if (!turn) return StoreResult::kBusy;
    if (!IsFixedCategory(parent)) {
        const Read<bool> owned = OwnsCategory(accountId, parent);
        if (!owned.ok()) return owned.result;
        if (!owned.value) return StoreResult::kUnknownCategory;
    }
    const StoreResult room = WithinQuota(accountId, false, name.size() + url.size());
    if (room != StoreResult::kDone) return room;
    Statement statement(writer_,
                        "INSERT INTO favorites (account_id, parent, name, url)"
                        " VALUES (?1, ?2, ?3, ?4)");
    statement.Bind(1, accountId).Bind(2, parent).Bind(3, name).Bind(4, url);
    return WriteResult(statement.Step());
}

Read<std::vector<Favorite>> Store::Favorites(int64_t accountId, int64_t afterId, int64_t limit) {
    std::lock_guard<std::mutex> lock(readMutex_);
    Statement statement(reader_,
                        "SELECT id, parent, name, url FROM favorites WHERE account_id = ?1"
                        " AND id > ?2 ORDER BY id LIMIT ?3");
    statement.Bind(1, accountId).Bind(2, afterId).Bind(3, limit);
    return ReadAll<Favorite>(statement, [](const Statement& row) {
        return Favorite{row.Integer(0), row.Integer(1), row.Text(2), row.Text(3)};
    });
}

StoreResult Store::AddSession(std::string_view tokenDigest, int64_t accountId, int64_t now,
                              int64_t expiresAt) {
    WriteTurn turn(*this);
    if (!turn) return StoreResult::kBusy;
    Statement purge(writer_, "DELETE FROM sessions WHERE expires_at <= ?1");
    const StoreResult purged = WriteResult(purge.Bind(1, now).Step());
    if (purged != StoreResult::kDone) return purged;
    Statement statement(
        writer_, "INSERT INTO sessions (token_digest, account_id, expires_at) VALUES (?1, ?2, ?3)");
    statement.Bind(1, tokenDigest).Bind(2, accountId).Bind(3, expiresAt);
    return WriteResult(statement.Step());
}

Read<std::optional<int64_t>> Store::SessionAccount(std::string_view tokenDigest, int64_t now) {
    std::lock_guard<std::mutex> lock(readMutex_);
    Statement statement(
        reader_, "SELECT account_id FROM sessions WHERE token_digest = ?1 AND expires_at > ?2");
    statement.Bind(1, tokenDigest).Bind(2, now);
    const int step = statement.Step();
    if (step == SQLITE_DONE) return {};
    if (step != SQLITE_ROW) return {ErrorResult(step), std::nullopt};
    return {StoreResult::kDone, statement.Integer(0)};
}

StoreResult Store::DeleteSession(std::string_view tokenDigest) {
    WriteTurn turn(*this);
    if (!turn) return StoreResult::kBusy;
    Statement statement(writer_, "DELETE FROM sessions WHERE token_digest = ?1");
    return WriteResult(statement.Bind(1, tokenDigest).Step());
}

}  // namespace service
