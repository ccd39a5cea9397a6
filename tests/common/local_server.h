#pragma once
// A server program run on 127.0.0.1 for the life of a test: started with its standard input and
// output on pipes (its errors dropped), its port read from the first line it prints, ended (stdin closed, then
// SIGTERM) and waited for when the object goes.
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

class LocalServer {
public:
    // Runs Args (Args[0] a path or a name on PATH); PortOf takes the port from the first line.
    LocalServer(const std::vector<std::string>& Args, int (*PortOf)(const std::string& Line)) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv;
        for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        FILE* output = fdopen(out[0], "r");
        char line[512] = "";
        if (pid_ > 0 && fgets(line, sizeof line, output)) port_ = PortOf(line);
        fclose(output);
    }
    ~LocalServer() {
        if (stdin_ >= 0) close(stdin_);
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    int Port() const { return port_; }
    std::string Url(const std::string& Path) const { return "http://127.0.0.1:" + std::to_string(port_) + Path; }

    // tests/tools/hostile_http.py.
    static std::vector<std::string> Hostile() { return {VELA_PYTHON, VELA_TEST_TOOLS "/hostile_http.py"}; }
    static int PlainPort(const std::string& Line) { return std::atoi(Line.c_str()); }
    // python3 -m http.server serving Folder.
    static std::vector<std::string> HttpServer(const std::string& Folder) {
        return {VELA_PYTHON, "-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", Folder};
    }
    // "Serving HTTP on 127.0.0.1 port 12345 (...)".
    static int HttpServerPort(const std::string& Line) {
        const size_t at = Line.find(" port ");
        return at == std::string::npos ? 0 : std::atoi(Line.c_str() + at + 6);
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int port_ = 0;
};
