// A real service on 127.0.0.1 with a free port and a database in a scratch folder, serving from
// a thread of the test process; and the requests the desktop client sends it.
#pragma once

#include "tests/support/service_wire.h"
#include "tools/service/service.h"

#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace service_testing {

// A folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class RunningService {
public:
    // Starts at once; a failure to start fails the current test.
    explicit RunningService(const std::string& databasePath,
                            service::ServiceOptions options = service::ServiceOptions());
    ~RunningService();

    void Stop();
    void Start();

    int port() const { return service_->port(); }
    const std::string& baseUrl() const { return service_->baseUrl(); }
    httplib::Client Client() const;

    // A form post as the plug-in makes it; the body goes as given.
    httplib::Result PostForm(
        const std::string& path, const std::string& body,
        const std::string& contentType = "application/x-www-form-urlencoded") const;
    // The reply text of a form post that must come back with HTTP status 200.
    std::string PluginReply(const std::string& path, const std::string& body) const;

private:
    std::string databasePath_;
    service::ServiceOptions options_;
    std::unique_ptr<service::Service> service_;
    std::thread thread_;
};

// "email=..&password=.." with both values percent-encoded, as the client sends them.
std::string Credentials(const std::string& email, const std::string& password);

// Creates an account straight in the database file, before a service opens it.
void CreateAccount(const std::string& databasePath, const std::string& email,
                   const std::string& password);

using testing_support::ReadWholeFile;

// Runs SQL on the database file through a connection of its own, as another program would.
void RunSql(const std::string& databasePath, const std::string& sql);

// A bare TCP connection to 127.0.0.1, for requests that a client library would not send.
class RawConnection {
public:
    // receiveBuffer: a small socket receive buffer (bytes), set before connecting, for a
    // client that takes a reply slowly; 0 leaves the system's.
    explicit RawConnection(int port, int receiveBuffer = 0);
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool Send(const std::string& bytes);
    // What the service sends until it closes the connection, or until the time is up.
    std::string ReadUntilClosed(std::chrono::milliseconds limit);
    // Whether the service has closed the connection and sent nothing still unread; does not
    // wait.
    bool ClosedByService() const;
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

}  // namespace service_testing
