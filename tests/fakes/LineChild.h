#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace velmora {

// A test program talked to a line at a time: its input and output on pipes, its errors dropped.
//
//   LineChild tour({VELMORA_TEST_PROGRAMS "/widget_tour", folder}, {{"QT_QPA_PLATFORM", "xcb"}});
//   tour.line();            // "ready", or "" when nothing comes in time
//   tour.ask("panel");      // sends a line and returns the answer
//   tour.ended(5);          // reaped within 5 s; the wait status is then in status()
//
// The destructor kills and reaps a child that has not ended.
class LineChild {
public:
    explicit LineChild(std::vector<std::string> args,
                       const std::vector<std::pair<std::string, std::string>>& environment = {});
    ~LineChild();
    LineChild(const LineChild&) = delete;
    LineChild& operator=(const LineChild&) = delete;

    pid_t pid() const { return pid_; }
    // The next line, or "" when none comes within `millis` or the output closed.
    std::string line(int millis = 60000);
    // Whether the whole line was written.
    bool send(const std::string& line);
    std::string ask(const std::string& line, int millis = 60000);
    bool ended(int seconds);
    int status() const { return status_; }

private:
    pid_t pid_ = -1;
    int input_ = -1, output_ = -1;
    std::string buffer_;
    int status_ = -1;
    bool reaped_ = false;
};

}  // namespace velmora
