#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/TextRecognizer.h"

namespace velmora {

class Scheduler;

// One Tesseract engine with the English data, reading lines without dictionary correction.
// Not thread-safe: one caller at a time.
class TesseractReader {
public:
    TesseractReader();
    ~TesseractReader();
    TesseractReader(const TesseractReader&) = delete;
    TesseractReader& operator=(const TesseractReader&) = delete;

    // False when the engine or its English data could not be loaded.
    bool ready() const;
    // The lines of a JPEG picture, top to bottom, without their line breaks; none for anything
    // that is not a readable JPEG.
    std::vector<std::string> readLines(const std::vector<std::uint8_t>& jpeg);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Reads pictures on a worker thread of its own and posts the lines back through the scheduler.
class TesseractTextRecognizer final : public TextRecognizer {
public:
    explicit TesseractTextRecognizer(Scheduler& scheduler);
    // Waits for the picture being read, drops the rest.
    ~TesseractTextRecognizer() override;
    TesseractTextRecognizer(const TesseractTextRecognizer&) = delete;
    TesseractTextRecognizer& operator=(const TesseractTextRecognizer&) = delete;

    void recognize(std::vector<std::vector<std::uint8_t>> jpegs, std::function<void(std::vector<Lines>)> done) override;

private:
    struct Job {
        std::vector<std::vector<std::uint8_t>> jpegs;
        std::function<void(std::vector<Lines>)> done;
    };
    void work();

    Scheduler& scheduler_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace velmora
