#include "tests/fakes/TestProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmora {

namespace {

pid_t spawn(const std::vector<std::string>& command, int input, bool searchPath) {
    std::vector<char*> argv;
    for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0) posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = searchPath ? posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ)
                                  : posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

}  // namespace

TestProgram::TestProgram(const std::string& path, const std::vector<std::string>& arguments) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    std::vector<std::string> command{path};
    command.insert(command.end(), arguments.begin(), arguments.end());
    pid_ = spawn(command, fds[0], false);
    close(fds[0]);
    input_ = fds[1];
}

TestProgram::~TestProgram() { kill(); }

bool TestProgram::send(const std::string& line) {
    // A program that died must fail the write, not end the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    const std::string text = line + "\n";
    return input_ >= 0 && write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void TestProgram::kill() {
    if (input_ >= 0) close(input_);
    input_ = -1;
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

int runCommand(const std::vector<std::string>& command) {
    const pid_t pid = spawn(command, -1, true);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace velmora
