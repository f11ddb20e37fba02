#include "platform/linux/TesseractTextRecognizer.h"

#include <dlfcn.h>
#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <utility>

#include "platform/Scheduler.h"

namespace velmora {

namespace {

// Tesseract asks OpenMP for several threads per line. On a busy machine those threads spin
// against every other process and one analysis takes minutes; with dynamic adjustment OpenMP
// gives the calling thread only as many as the load leaves idle. The setting belongs to the
// calling thread, and OpenMP is reached through Tesseract's own link to it.
void letOpenMpFollowTheLoad() {
    using SetDynamic = void (*)(int);
    static const auto setDynamic = reinterpret_cast<SetDynamic>(dlsym(RTLD_DEFAULT, "omp_set_dynamic"));
    if (setDynamic) setDynamic(1);
}

}  // namespace

struct TesseractReader::Impl {
    tesseract::TessBaseAPI api;
    bool ready = false;
};

TesseractReader::TesseractReader() : impl_(std::make_unique<Impl>()) {
    // Both libraries print their complaints to stderr unless told otherwise.
    setMsgSeverity(L_SEVERITY_NONE);
    std::vector<std::string> names{"load_system_dawg", "load_freq_dawg", "debug_file"};
    std::vector<std::string> values{"0", "0", "/dev/null"};
    impl_->ready =
        impl_->api.Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) == 0;
    // Sparse text costs about what a single block does and keeps a screen's separate labels,
    // columns and buttons on lines of their own.
    if (impl_->ready) impl_->api.SetPageSegMode(tesseract::PSM_SPARSE_TEXT);
}

TesseractReader::~TesseractReader() { impl_->api.End(); }

bool TesseractReader::ready() const { return impl_->ready; }

std::vector<std::string> TesseractReader::readLines(const std::vector<std::uint8_t>& jpeg) {
    // Only our own JPEG frames are read; other formats are refused before any decoder sees them.
    if (!impl_->ready || jpeg.size() < 3 || jpeg[0] != 0xFF || jpeg[1] != 0xD8 || jpeg[2] != 0xFF) return {};
    Pix* pix = pixReadMem(jpeg.data(), jpeg.size());
    if (!pix) return {};
    letOpenMpFollowTheLoad();
    auto& api = impl_->api;
    api.SetImage(pix);
    api.SetSourceResolution(96);
    std::vector<std::string> lines;
    if (api.Recognize(nullptr) == 0) {
        std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
        if (it && !it->Empty(tesseract::RIL_TEXTLINE)) {
            do {
                std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
                if (!text) continue;
                std::string line(text.get());
                while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
                if (!line.empty()) lines.push_back(std::move(line));
            } while (it->Next(tesseract::RIL_TEXTLINE));
        }
    }
    api.Clear();
    pixDestroy(&pix);
    return lines;
}

TesseractTextRecognizer::TesseractTextRecognizer(Scheduler& scheduler) : scheduler_(scheduler) {}

TesseractTextRecognizer::~TesseractTextRecognizer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void TesseractTextRecognizer::recognize(std::vector<std::vector<std::uint8_t>> jpegs,
                                        std::function<void(std::vector<Lines>)> done) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(Job{std::move(jpegs), std::move(done)});
        // The engine loads its data on the worker, the first time a picture needs it.
        if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
    }
    wake_.notify_one();
}

void TesseractTextRecognizer::work() {
    std::unique_ptr<TesseractReader> reader;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        if (!reader) reader = std::make_unique<TesseractReader>();
        std::vector<Lines> result;
        for (const auto& jpeg : job.jpegs) result.push_back(reader->readLines(jpeg));
        scheduler_.post([alive = std::weak_ptr<bool>(alive_), done = std::move(job.done), result = std::move(result)] {
            if (!alive.expired()) done(result);
        });
    }
}

}  // namespace velmora
