// Accounts, categories, favorites and login sessions in one SQLite file. Every statement is
// prepared and takes its values through bindings.
//
// Reads and changes go through connections of their own: in WAL mode a reader is not blocked by
// a writer, so lists are served while another program holds the write lock. Changes take turns
// on their connection, and each one waits for its turn and for SQLite's write lock together no
// longer than the busy timeout, counted from its start.
//
// The file is in WAL mode with synchronous=FULL: a change is on disk (the WAL synced) before the
// call that made it returns, so whatever was acknowledged survives the process being killed or
// the machine losing power. The file and its -wal and -shm companions must belong to the user
// running the service and not be symbolic links; they are readable by their owner only.
#pragma once

#include <chrono>
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
// kOverQuota: the account holds all it may, nothing was stored.
enum class StoreResult { kDone, kDuplicate, kUnknownCategory, kOverQuota, kBusy, kFailed };

// What one account may hold, far beyond any real collection of favorites: the file and each
// page of the account grow no further.
struct AccountQuota {
    int64_t favorites = 20000;
    int64_t categories = 1000;
    // Names and addresses of favorites and categories, as stored (UTF-8).
    int64_t bytes = 8 << 20;
};

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
    void SetQuota(const AccountQuota& quota) { quota_ = quota; }
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
    // In the order they were added; those after the given id, at most limit of them.
    Read<std::vector<Favorite>> Favorites(int64_t accountId, int64_t afterId = 0,
                                          int64_t limit = -1);

    // Also drops the sessions that have expired by now.
    StoreResult AddSession(std::string_view tokenDigest, int64_t accountId, int64_t now,
                           int64_t expiresAt);
    Read<std::optional<int64_t>> SessionAccount(std::string_view tokenDigest, int64_t now);
    StoreResult DeleteSession(std::string_view tokenDigest);

private:
    // The writer's turn for one change: taken within the busy timeout or not at all, and
    // while held SQLite waits for the file's write lock only for what is left of that time.
    class WriteTurn {
    public:
        explicit WriteTurn(Store& store);
        ~WriteTurn();
        WriteTurn(const WriteTurn&) = delete;
        WriteTurn& operator=(const WriteTurn&) = delete;
        explicit operator bool() const { return held_; }

    private:
        Store& store_;
        bool held_;
    };

    Store(sqlite3* writer, sqlite3* reader, int busyTimeoutMs)
        : writer_(writer), reader_(reader), busyTimeout_(busyTimeoutMs) {}
    bool Configure(std::string& error);
    Read<bool> OwnsCategory(int64_t accountId, int64_t categoryId);
    // kDone when a row of the given kind and size still fits the account's quota.
    StoreResult WithinQuota(int64_t accountId, bool category, size_t bytes);
    Read<std::optional<Account>> AccountWhere(const char* sql, int64_t id, std::string_view email);

    sqlite3* writer_;
    sqlite3* reader_;
    const std::chrono::milliseconds busyTimeout_;
    AccountQuota quota_;
    std::timed_mutex writeMutex_;
    std::mutex readMutex_;
};

// The category ids that every account has without storing them.
constexpr int64_t kNoCategoryId = -1;
constexpr int64_t kHomeId = 0;
constexpr int64_t kPrivateLinksId = -10;
bool IsFixedCategory(int64_t id);

}  // namespace service
