#include "tests/service/running_service.h"

#include "tools/service/credentials.h"
#include "tools/service/form_body.h"
#include "tools/service/store.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace service_testing {

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavrello-service-XXXXXX");
    if (mkdtemp(pattern.data())) path_ = pattern;
    EXPECT_FALSE(path_.empty()) << "cannot create a scratch folder";
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

RunningService::RunningService(const std::string& databasePath, service::ServiceOptions options)
    : databasePath_(databasePath), options_(std::move(options)) {
    options_.listenAddress = "127.0.0.1";
    options_.port = 0;
    options_.databasePath = databasePath_;
    options_.logRequests = false;
    Start();
}

RunningService::~RunningService() {
    Stop();
}

void RunningService::Start() {
    std::string error;
    service_ = service::Service::Create(options_, error);
    if (!service_) {
        ADD_FAILURE() << "the service did not start: " << error;
        std::abort();
    }
    thread_ = std::thread([this]() { service_->Run(); });
}

void RunningService::Stop() {
    if (!service_) return;
    service_->Stop();
    thread_.join();
    service_.reset();
}

httplib::Client RunningService::Client() const {
    httplib::Client client("127.0.0.1", service_->port());
    client.set_connection_timeout(10);
    client.set_read_timeout(30);
    return client;
}

httplib::Result RunningService::PostForm(const std::string& path, const std::string& body,
                                         const std::string& contentType) const {
    return Client().Post(path.c_str(), body, contentType.c_str());
}

std::string RunningService::PluginReply(const std::string& path, const std::string& body) const {
    const auto result = PostForm(path, body);
    if (!result) {
        ADD_FAILURE() << "no reply from " << path;
        return std::string();
    }
    EXPECT_EQ(result->status, 200) << path << ": " << result->body;
    return result->body;
}

std::string Credentials(const std::string& email, const std::string& password) {
    return "email=" + service::PercentEncode(email) +
           "&password=" + service::PercentEncode(password);
}

void CreateAccount(const std::string& databasePath, const std::string& email,
                   const std::string& password) {
    std::string error;
    auto store = service::Store::Open(databasePath, error);
    ASSERT_TRUE(store) << error;
    ASSERT_EQ(store->CreateAccount(email, service::HashPassword(password)),
              service::StoreResult::kDone);
}

void RunSql(const std::string& databasePath, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << sql << ": " << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

RawConnection::RawConnection(int port, int receiveBuffer) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) {
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ADD_FAILURE() << "cannot connect to port " << port;
    }
}

RawConnection::~RawConnection() {
    if (fd_ >= 0) close(fd_);
}

bool RawConnection::Send(const std::string& bytes) {
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

std::string RawConnection::ReadUntilClosed(std::chrono::milliseconds limit) {
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wait = {fd_, POLLIN, 0};
        if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[4096];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        received.append(buffer, static_cast<size_t>(n));
    }
    return received;
}

bool RawConnection::ClosedByService() const {
    pollfd wait = {fd_, POLLIN, 0};
    if (poll(&wait, 1, 0) <= 0) return false;
    char byte;
    const ssize_t n = recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    // Bytes still to read come before any end of the stream.
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

}  // namespace service_testing
