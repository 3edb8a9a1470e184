// Accounts, categories, favorites and login sessions in one SQLite file. Every statement is
// prepared and takes its values through bindings; one connection, serialised by a mutex.
//
// The file is in WAL mode with synchronous=FULL: a change is on disk (the WAL synced) before the
// call that made it returns, so whatever was acknowledged survives the process being killed or
// the machine losing power. The file and its -wal and -shm companions are readable by their
// owner only.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace service {

struct Account {
    int64_t id = 0;
    std::string email;
    std::string passwordHash;
};

struct Category {
    int64_t id = 0;
    std::string name;
};

struct Favorite {
    int64_t id = 0;
    int64_t parent = 0;  // a category of the account, or one of the fixed ids
    std::string name;
    std::string url;
};

// kBusy: another connection held the file locked for longer than the busy timeout, worth
// trying again; kFailed: anything else SQLite reported (corrupt file, I/O error, full disk).
enum class StoreResult { kDone, kDuplicate, kUnknownCategory, kBusy, kFailed };

// The outcome of a read: the value only when result is kDone (an empty optional or list then
// means there is no such row), otherwise kBusy or kFailed.
template <typename T>
struct Read {
    StoreResult result = StoreResult::kDone;
    T value{};
    bool ok() const { return result == StoreResult::kDone; }
};

constexpr int kDefaultBusyTimeoutMs = 5000;

class Store {
public:
    // Opens or creates the file and its tables; nothing (and error filled) when it cannot.
    static std::unique_ptr<Store> Open(const std::string& path, std::string& error,
                                       int busyTimeoutMs = kDefaultBusyTimeoutMs);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    Read<std::optional<Account>> FindAccount(std::string_view email);
    Read<std::optional<Account>> FindAccountById(int64_t id);
    StoreResult CreateAccount(std::string_view email, std::string_view passwordHash,
                              int64_t* id = nullptr);

    Read<std::vector<Category>> Categories(int64_t accountId);
    StoreResult AddCategory(int64_t accountId, std::string_view name, int64_t* id = nullptr);
    // The parent must be a fixed id or one of the account's own categories, checked in the same
    // critical section as the insert.
    StoreResult AddFavorite(int64_t accountId, int64_t parent, std::string_view name,
                            std::string_view url);
    Read<std::vector<Favorite>> Favorites(int64_t accountId);

    // Also drops the sessions that have expired by now.
    StoreResult AddSession(std::string_view tokenDigest, int64_t accountId, int64_t now,
                           int64_t expiresAt);
    Read<std::optional<int64_t>> SessionAccount(std::string_view tokenDigest, int64_t now);
    StoreResult DeleteSession(std::string_view tokenDigest);

private:
    explicit Store(sqlite3* db) : db_(db) {}
    bool Configure(int busyTimeoutMs, std::string& error);
    Read<bool> OwnsCategory(int64_t accountId, int64_t categoryId);
    Read<std::optional<Account>> AccountWhere(const char* sql, int64_t id, std::string_view email);

    sqlite3* db_;
    std::mutex mutex_;
};

// The category ids that every account has without storing them.
constexpr int64_t kNoCategoryId = -1;
constexpr int64_t kHomeId = 0;
constexpr int64_t kPrivateLinksId = -10;
bool IsFixedCategory(int64_t id);

}  // namespace service
