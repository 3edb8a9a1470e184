// The real tavrello-service program, started as a child process on 127.0.0.1.
#include "tests/service/running_service.h"

#include "tools/service/demo_account.h"
#include "tools/service/plugin_api.h"
#include "tools/service/store.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <vector>

using service_testing::Credentials;
using service_testing::ScratchFolder;
using testing_support::kAddUrlPath;
using testing_support::kCategoriesPath;

namespace {

// The program with its standard input on a pipe and its standard output and error together on
// another; killed if a test leaves it running.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& arguments) {
        int input[2];
        int output[2];
        if (pipe(input) != 0 || pipe(output) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        posix_spawn_file_actions_adddup2(&actions, output[1], 2);
        posix_spawn_file_actions_addclose(&actions, input[1]);
        posix_spawn_file_actions_addclose(&actions, output[0]);
        std::vector<std::string> all = {TAVRELLO_SERVICE_EXE};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& argument : all) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        close(output[1]);
        stdin_ = input[1];
        stdout_ = output[0];
    }
    ~ChildProcess() {
        if (stdin_ >= 0) close(stdin_);
        if (stdout_ >= 0) close(stdout_);
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    bool started() const { return pid_ > 0; }

    void Write(const std::string& text) {
        const ssize_t written = write(stdin_, text.data(), text.size());
        EXPECT_EQ(written, static_cast<ssize_t>(text.size()));
        close(stdin_);
        stdin_ = -1;
    }

    // One line of standard output, waiting up to a minute for it.
    std::string ReadLine() {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd wait = {stdout_, POLLIN, 0};
            if (poll(&wait, 1, 1000) <= 0) continue;
            char c;
            if (read(stdout_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return line;
    }

    void Signal(int number) { kill(pid_, number); }

    // The exit code, -1 when it ended otherwise, -2 when it was still running after a minute
    // (and then killed).
    int Wait() {
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                exited_ = true;
                return -2;
            }
            usleep(10000);
        }
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    bool exited_ = false;
};

int PortFromBanner(const std::string& banner) {
    std::smatch match;
    const std::regex shape("tavrello-service listening on 127\\.0\\.0\\.1:([0-9]+), .*");
    return std::regex_match(banner, match, shape) ? std::stoi(match[1]) : 0;
}

TEST(ServiceProgram, ServesOnTheLoopbackAddressAndStopsCleanlyOnSigterm) {
    ScratchFolder folder;
    const std::string database = folder.path() + "/program.db";
    for (int run = 0; run < 2; ++run) {
        ChildProcess program({"--port", "0", "--db", database, "--quiet"});
        ASSERT_TRUE(program.started());
        const std::string banner = program.ReadLine();
        const int port = PortFromBanner(banner);
        ASSERT_GT(port, 0) << banner;
        EXPECT_NE(banner.find("base URL http://127.0.0.1:" + std::to_string(port) + "/"),
                  std::string::npos);
        httplib::Client client("127.0.0.1", port);
        const std::string credentials = Credentials(service::kDemoEmail, service::kDemoPassword);
        if (run == 0) {
            const auto added = client.Post(kAddUrlPath, credentials + "&name=Across&url=-&parent=0",
                                           "application/x-www-form-urlencoded");
            ASSERT_TRUE(added);
            EXPECT_EQ(added->body, "OK");
        } else {
            const auto list = client.Post(kCategoriesPath, credentials + "&version=1.05",
                                          "application/x-www-form-urlencoded");
            ASSERT_TRUE(list);
            EXPECT_NE(list->body.find(" Across\n"), std::string::npos)
                << "a category made in the first run is there in the second: " << list->body;
        }
        program.Signal(SIGTERM);
        EXPECT_EQ(program.Wait(), 0);
    }
}

TEST(ServiceProgram, AddAccountReadsThePasswordFromStandardInput) {
    ScratchFolder folder;
    const std::string database = folder.path() + "/accounts.db";
    {
        ChildProcess add({"--db", database, "--add-account", "new@tavrello.test"});
        add.Write("fresh-password\n");
        EXPECT_EQ(add.ReadLine(), "created account new@tavrello.test");
        EXPECT_EQ(add.Wait(), 0);
    }
    {
        ChildProcess again({"--db", database, "--add-account", "NEW@tavrello.test"});
        again.Write("other\n");
        EXPECT_EQ(again.Wait(), 1) << "the address is taken, whatever its case";
    }
    ChildProcess program({"--port=0", "--db=" + database, "--quiet", "--no-demo"});
    const int port = PortFromBanner(program.ReadLine());
    ASSERT_GT(port, 0);
    httplib::Client client("127.0.0.1", port);
    struct Case {
        std::string body;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {Credentials("new@tavrello.test", "fresh-password"), "200 OK\n"},
        {Credentials("new@tavrello.test", "other"), "403 Wrong e-mail address or password\n"},
        {Credentials(service::kDemoEmail, service::kDemoPassword),
         "403 Wrong e-mail address or password\n"},
    };
    for (const auto& c : cases) {
        const auto reply = client.Post(kCategoriesPath, c.body + "&version=1.05",
                                       "application/x-www-form-urlencoded");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->body, c.reply) << c.body;
    }
    program.Signal(SIGINT);
    EXPECT_EQ(program.Wait(), 0);
}

struct UnusableDatabase {
    std::string path;
    std::string reason;
};

// Both ways of opening the file end at once with the message naming it.
void ExpectRefused(const std::vector<UnusableDatabase>& cases) {
    for (const auto& c : cases) {
        for (const char* action : {"--port=0", "--add-account=new@tavrello.test"}) {
            ChildProcess program({action, "--db", c.path, "--quiet"});
            if (std::string(action).rfind("--add-account", 0) == 0) program.Write("password\n");
            std::string message;
            for (int line = 0; line < 5 && message.find(c.path) == std::string::npos; ++line) {
                message = program.ReadLine();
            }
            EXPECT_EQ(message,
                      "tavrello-service: cannot open the database " + c.path + ": " + c.reason)
                << action;
            EXPECT_EQ(program.Wait(), 1) << action << " " << c.path;
        }
    }
}

TEST(ServiceProgram, UnusableDatabaseEndsWithAMessageNamingTheFileAndTheReason) {
    ScratchFolder folder;
    const std::string garbage = folder.path() + "/garbage.db";
    {
        std::FILE* file = std::fopen(garbage.c_str(), "wb");
        ASSERT_TRUE(file);
        std::fputs(std::string(4096, '\x5a').c_str(), file);
        std::fclose(file);
    }
    std::vector<UnusableDatabase> cases = {
        {folder.path() + "/missing/dir/x.db", "No such file or directory"},
        {garbage, "file is not a database"},
    };
    // Files that another user could have put in a shared folder: links, and files of theirs.
    const std::string linked = folder.path() + "/linked.db";
    ASSERT_EQ(symlink(garbage.c_str(), linked.c_str()), 0);
    cases.push_back({linked, linked + " is a symbolic link"});
    const std::string linkedWal = folder.path() + "/linked-wal.db";
    ASSERT_EQ(symlink(garbage.c_str(), (linkedWal + "-wal").c_str()), 0);
    cases.push_back({linkedWal, linkedWal + "-wal is a symbolic link"});
    ExpectRefused(cases);
}

// Registered with ctest on its own, which reports the skip.
TEST(ServiceProgramAsRoot, DatabaseFilesOfAnotherUserEndTheServiceWithAMessage) {
    ScratchFolder folder;
    std::vector<UnusableDatabase> cases;
    for (const char* suffix : {"", "-wal"}) {
        const std::string foreign = folder.path() + "/foreign" + suffix + ".db";
        const std::string file = foreign + suffix;
        const int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        close(fd);
        // Giving a file away takes root (as in CI).
        if (chown(file.c_str(), 65534, 65534) != 0) {
            GTEST_SKIP() << "not root: a file cannot be given to another user here";
        }
        cases.push_back({foreign, file + " belongs to another user"});
    }
    ExpectRefused(cases);
}

TEST(ServiceProgram, RequestLogKeepsEachRequestOnOneLine) {
    ScratchFolder folder;
    ChildProcess program({"--port", "0", "--db", folder.path() + "/log.db"});
    const int port = PortFromBanner(program.ReadLine());
    ASSERT_GT(port, 0);
    httplib::Client client("127.0.0.1", port);
    ASSERT_TRUE(client.Get("/a%0AGET%20/forged%20200%0D%1B%5B2J%5Cx0A"));
    std::string line;
    for (int i = 0; i < 20 && line.find("forged") == std::string::npos; ++i) {
        line = program.ReadLine();
        EXPECT_NE(line.rfind("GET /forged", 0), 0u) << line;
    }
    EXPECT_EQ(line, "GET /a\\x0AGET /forged 200\\x0D\\x1B[2J\\x5Cx0A 404");
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
}

TEST(ServiceProgram, EveryAcknowledgedAddSurvivesSigkill) {
    ScratchFolder folder;
    const std::string database = folder.path() + "/durable.db";
    ChildProcess program({"--port", "0", "--db", database, "--quiet"});
    const int port = PortFromBanner(program.ReadLine());
    ASSERT_GT(port, 0);
    // Adds from a few clients at once; the kill comes while some are still in flight.
    std::atomic<int> acknowledged{0};
    std::vector<std::string> kept[3];
    std::vector<std::thread> clients;
    for (int c = 0; c < 3; ++c) {
        clients.emplace_back([&, c]() {
            httplib::Client client("127.0.0.1", port);
            for (int i = 0; i < 200; ++i) {
                const std::string name = "durable-" + std::to_string(c) + "-" + std::to_string(i);
                const auto reply =
                    client.Post(kAddUrlPath,
                                Credentials(service::kDemoEmail, service::kDemoPassword) +
                                    "&name=" + name + "&url=https%3A%2F%2Fd.example%2F&parent=0",
                                "application/x-www-form-urlencoded");
                if (!reply || reply->body != "OK") return;
                kept[c].push_back(name);
                ++acknowledged;
            }
        });
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (acknowledged < 30 && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(acknowledged, 30);
    program.Signal(SIGKILL);
    for (auto& client : clients) client.join();
    EXPECT_EQ(program.Wait(), -1);

    std::string error;
    auto store = service::Store::Open(database, error);
    ASSERT_TRUE(store) << error;
    const auto account = store->FindAccount(service::kDemoEmail).value;
    ASSERT_TRUE(account);
    std::map<std::string, int> stored;
    for (const auto& favorite : store->Favorites(account->id).value) ++stored[favorite.name];
    for (const auto& names : kept) {
        for (const auto& name : names) EXPECT_EQ(stored[name], 1) << name;
    }
}

TEST(ServiceProgram, AFileSizeLimitFailsTheAddAndTheServiceGoesOn) {
    ScratchFolder folder;
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 256 * 1024;
    // The child inherits the limit; this process has it only while it starts the child.
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ChildProcess program({"--port", "0", "--db", folder.path() + "/limited.db", "--quiet"});
    setrlimit(RLIMIT_FSIZE, &previous);
    const int port = PortFromBanner(program.ReadLine());
    ASSERT_GT(port, 0);
    httplib::Client client("127.0.0.1", port);
    const std::string demo = Credentials(service::kDemoEmail, service::kDemoPassword);
    const std::string url = "&url=https%3A%2F%2Fbig.example%2F" + std::string(3000, 'x');
    std::string reply = "200 OK";
    for (int i = 0; i < 500 && reply == "200 OK"; ++i) {
        const auto result =
            client.Post(kAddUrlPath, demo + "&name=big" + std::to_string(i) + url + "&parent=0",
                        "application/x-www-form-urlencoded");
        reply = result ? std::to_string(result->status) + " " + result->body : "no reply";
    }
    EXPECT_EQ(reply, std::string("500 ") + service::PluginApi::kFailedText);
    const auto list =
        client.Post(kCategoriesPath, demo + "&version=1.05", "application/x-www-form-urlencoded");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->body.rfind("200 OK\n", 0), 0u);
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
}

TEST(ServiceProgram, BadCommandLineOrUnusablePortExitsWithAnError) {
    ScratchFolder folder;
    {
        ChildProcess program({"--port", "70000"});
        EXPECT_EQ(program.Wait(), 2);
    }
    {
        ChildProcess program({"--frobnicate"});
        EXPECT_EQ(program.Wait(), 2);
    }
    ChildProcess first({"--port", "0", "--db", folder.path() + "/a.db", "--quiet"});
    const int port = PortFromBanner(first.ReadLine());
    ASSERT_GT(port, 0);
    ChildProcess second(
        {"--port", std::to_string(port), "--db", folder.path() + "/b.db", "--quiet"});
    EXPECT_EQ(second.Wait(), 1) << "the port is taken";
    first.Signal(SIGTERM);
    EXPECT_EQ(first.Wait(), 0);
}

}  // namespace
