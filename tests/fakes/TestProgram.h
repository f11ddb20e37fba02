#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace velmora {

// One of the desktop tests' own programs (tests/programs), started with a pipe to its standard
// input; the destructor closes the pipe, kills the program and reaps it.
class TestProgram {
public:
    // `path` is the program; its standard error goes to /dev/null.
    TestProgram(const std::string& path, const std::vector<std::string>& arguments);
    ~TestProgram();
    TestProgram(const TestProgram&) = delete;
    TestProgram& operator=(const TestProgram&) = delete;

    pid_t pid() const { return pid_; }  // -1 when it could not start
    // Writes one line; false when the program no longer reads.
    bool send(const std::string& line);
    // Kills and reaps it now.
    void kill();

private:
    pid_t pid_ = -1;
    int input_ = -1;
};

// Runs a command found on PATH to its end; its exit status, or -1 when it could not start.
int runCommand(const std::vector<std::string>& command);

}  // namespace velmora
