#include "tools/service/store.h"

#include <sqlite3.h>

#include <utility>

namespace service {
namespace {

// One prepared statement, finalised on every path out.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
            statement_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return statement_ != nullptr; }

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

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return statement_ ? sqlite3_step(statement_) : SQLITE_ERROR; }

    int64_t Integer(int column) const { return sqlite3_column_int64(statement_, column); }
    std::string Text(int column) const {
        const auto* text = sqlite3_column_text(statement_, column);
        const int length = sqlite3_column_bytes(statement_, column);
        return text ? std::string(reinterpret_cast<const char*>(text), length) : std::string();
    }

private:
    sqlite3_stmt* statement_ = nullptr;
};

StoreResult InsertResult(int step) {
    if (step == SQLITE_DONE) return StoreResult::kDone;
    if (step == SQLITE_CONSTRAINT) return StoreResult::kDuplicate;
    return StoreResult::kFailed;
}

}  // namespace

bool IsFixedCategory(int64_t id) {
    return id == kNoCategoryId || id == kHomeId || id == kPrivateLinksId;
}

std::unique_ptr<Store> Store::Open(const std::string& path, std::string& error) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<Store> store(new Store(db));
    sqlite3_busy_timeout(db, 5000);
    if (!store->CreateSchema(error)) return nullptr;
    return store;
}

Store::~Store() {
    sqlite3_close(db_);
}

bool Store::CreateSchema(std::string& error) {
    static constexpr const char* kSchema[] = {
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
        Statement statement(db_, sql);
        const int step = statement.Step();
        if (step != SQLITE_DONE && step != SQLITE_ROW) {
            error = sqlite3_errmsg(db_);
            return false;
        }
    }
    return true;
}

std::optional<Account> Store::FindAccount(std::string_view email) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement statement(db_, "SELECT id, email, password_hash FROM accounts WHERE email = ?1");
    statement.Bind(1, email);
    if (statement.Step() != SQLITE_ROW) return std::nullopt;
    return Account{statement.Integer(0), statement.Text(1), statement.Text(2)};
}

std::optional<Account> Store::FindAccountById(int64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement statement(db_, "SELECT id, email, password_hash FROM accounts WHERE id = ?1");
    statement.Bind(1, id);
    if (statement.Step() != SQLITE_ROW) return std::nullopt;
    return Account{statement.Integer(0), statement.Text(1), statement.Text(2)};
}

StoreResult Store::CreateAccount(std::string_view email, std::string_view passwordHash,
                                 int64_t* id) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement statement(db_, "INSERT INTO accounts (email, password_hash) VALUES (?1, ?2)");
    statement.Bind(1, email).Bind(2, passwordHash);
    const StoreResult result = InsertResult(statement.Step());
    if (result == StoreResult::kDone && id) *id = sqlite3_last_insert_rowid(db_);
    return result;
}

std::vector<Category> Store::Categories(int64_t accountId) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Category> categories;
    Statement statement(db_, "SELECT id, name FROM categories WHERE account_id = ?1 ORDER BY id");
    statement.Bind(1, accountId);
    while (statement.Step() == SQLITE_ROW) {
        categories.push_back({statement.Integer(0), statement.Text(1)});
    }
    return categories;
}

StoreResult Store::AddCategory(int64_t accountId, std::string_view name, int64_t* id) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement statement(db_, "INSERT INTO categories (account_id, name) VALUES (?1, ?2)");
    statement.Bind(1, accountId).Bind(2, name);
    const StoreResult result = InsertResult(statement.Step());
    if (result == StoreResult::kDone && id) *id = sqlite3_last_insert_rowid(db_);
    return result;
}

bool Store::OwnsCategory(int64_t accountId, int64_t categoryId) {
    Statement statement(db_, "SELECT 1 FROM categories WHERE id = ?1 AND account_id = ?2");
    statement.Bind(1, categoryId).Bind(2, accountId);
    return statement.Step() == SQLITE_ROW;
}

StoreResult Store::AddFavorite(int64_t accountId, int64_t parent, std::string_view name,
                               std::string_view url) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!IsFixedCategory(parent) && !OwnsCategory(accountId, parent)) {
        return StoreResult::kUnknownCategory;
    }
    Statement statement(db_,
                        "INSERT INTO favorites (account_id, parent, name, url)"
                        " VALUES (?1, ?2, ?3, ?4)");
    statement.Bind(1, accountId).Bind(2, parent).Bind(3, name).Bind(4, url);
    return InsertResult(statement.Step());
}

std::vector<Favorite> Store::Favorites(int64_t accountId) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Favorite> favorites;
    Statement statement(
        db_, "SELECT id, parent, name, url FROM favorites WHERE account_id = ?1 ORDER BY id");
    statement.Bind(1, accountId);
    while (statement.Step() == SQLITE_ROW) {
        favorites.push_back(
            {statement.Integer(0), statement.Integer(1), statement.Text(2), statement.Text(3)});
    }
    return favorites;
}

StoreResult Store::AddSession(std::string_view tokenDigest, int64_t accountId, int64_t now,
                              int64_t expiresAt) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement purge(db_, "DELETE FROM sessions WHERE expires_at <= ?1");
    purge.Bind(1, now).Step();
    Statement statement(
        db_, "INSERT INTO sessions (token_digest, account_id, expires_at) VALUES (?1, ?2, ?3)");
    statement.Bind(1, tokenDigest).Bind(2, accountId).Bind(3, expiresAt);
    return InsertResult(statement.Step());
}

std::optional<int64_t> Store::SessionAccount(std::string_view tokenDigest, int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement statement(
        db_, "SELECT account_id FROM sessions WHERE token_digest = ?1 AND expires_at > ?2");
    statement.Bind(1, tokenDigest).Bind(2, now);
    if (statement.Step() != SQLITE_ROW) return std::nullopt;
    return statement.Integer(0);
}

void Store::DeleteSession(std::string_view tokenDigest) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement statement(db_, "DELETE FROM sessions WHERE token_digest = ?1");
    statement.Bind(1, tokenDigest).Step();
}

}  // namespace service
