#pragma once

#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace lumivra {

// XCB hands out replies allocated with malloc, to be freed by the caller.
struct FreeReply {
    void operator()(void *reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

struct Disconnect {
    void operator()(xcb_connection_t *connection) const { xcb_disconnect(connection); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, Disconnect>;

} // namespace lumivra
