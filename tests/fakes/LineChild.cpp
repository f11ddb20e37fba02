#include "tests/fakes/LineChild.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace velmora {

LineChild::LineChild(std::vector<std::string> args,
                     const std::vector<std::pair<std::string, std::string>>& environment) {
    signal(SIGPIPE, SIG_IGN);  // a child that died fails the test instead of killing it
    int in[2], out[2];
    if (args.empty() || pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    if ((pid_ = fork()) == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(open("/dev/null", O_WRONLY | O_CLOEXEC), STDERR_FILENO);
        for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    if (pid_ < 0) {
        close(input_);
        close(output_);
        input_ = output_ = -1;
    }
}

LineChild::~LineChild() {
    if (input_ >= 0) close(input_);
    if (output_ >= 0) close(output_);
    if (pid_ > 0 && !reaped_ && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
}

std::string LineChild::line(int millis) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(millis);
    while (true) {
        if (auto at = buffer_.find('\n'); at != std::string::npos) {
            std::string l = buffer_.substr(0, at);
            buffer_.erase(0, at + 1);
            return l;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (output_ < 0 || left.count() <= 0) return "";
        pollfd p{output_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
        char chunk[512];
        const ssize_t n = read(output_, chunk, sizeof chunk);
        if (n <= 0) return "";
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

bool LineChild::send(const std::string& line) {
    if (input_ < 0) return false;
    const std::string l = line + "\n";
    return write(input_, l.data(), l.size()) == static_cast<ssize_t>(l.size());
}

std::string LineChild::ask(const std::string& l, int millis) { return send(l) ? line(millis) : ""; }

bool LineChild::ended(int seconds) {
    // Looks at least once, so ended(0) tells whether it has ended by now.
    for (int i = 0; !reaped_ && pid_ > 0; ++i) {
        if (waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
        else if (i >= seconds * 10) break;
        else std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return reaped_;
}

}  // namespace velmora
