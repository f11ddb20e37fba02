#include "platform/linux/X11IdleTimeSource.h"

#include <X11/extensions/scrnsaver.h>

#include "platform/linux/X11Connection.h"

namespace velmora {

struct X11IdleTimeSource::Impl {
    X11Connection x;
    bool haveExtension = false;

    explicit Impl(std::optional<std::string> displayName) : x(std::move(displayName)) {
        x.onConnect = [this](Display* d) {
            int event = 0, error = 0;
            haveExtension = XScreenSaverQueryExtension(d, &event, &error);
        };
    }

    std::optional<double> read() {
        Display* d = x.get();
        if (!d || !haveExtension) return std::nullopt;
        XScreenSaverInfo info{};
        if (!XScreenSaverQueryInfo(d, DefaultRootWindow(d), &info) || x.broken()) return std::nullopt;
        return static_cast<double>(info.idle) / 1000.0;
    }
};

X11IdleTimeSource::X11IdleTimeSource() : impl_(std::make_unique<Impl>(X11Connection::environmentDisplay())) {}
X11IdleTimeSource::X11IdleTimeSource(std::string displayName) : impl_(std::make_unique<Impl>(std::move(displayName))) {}
X11IdleTimeSource::~X11IdleTimeSource() = default;

std::optional<double> X11IdleTimeSource::secondsSinceLastInput() { return impl_->read(); }

}  // namespace velmora
