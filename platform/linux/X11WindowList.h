#pragma once
#include <memory>
#include <string>

#include "platform/WindowList.h"

namespace velmora {

// The window manager's stacking list (_NET_CLIENT_LIST_STACKING) on a connection of its own.
// What each window is (owner, title, layer, place, visibility) is kept between calls and read
// again only when the server says it changed, so a steady desktop costs no round trip.
class X11WindowList final : public WindowList {
public:
    // $DISPLAY; none when it is unset.
    X11WindowList();
    // The given display; an empty name means none.
    explicit X11WindowList(std::string displayName);
    ~X11WindowList() override;
    X11WindowList(const X11WindowList&) = delete;
    X11WindowList& operator=(const X11WindowList&) = delete;

    std::vector<ListedWindow> windows() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
