#include "app/x_window_watch.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

namespace glintara {
namespace {

template <typename Reply>
struct ReplyPtr {
    Reply* reply;
    explicit ReplyPtr(Reply* r) : reply(r) {}
    ~ReplyPtr() { std::free(reply); }
    ReplyPtr(const ReplyPtr&) = delete;
    ReplyPtr& operator=(const ReplyPtr&) = delete;
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name) {
    const ReplyPtr reply(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The bytes of a window's property, empty where it has none.
std::string propertyOf(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
    const ReplyPtr reply(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr));
    if (!reply) {
        return {};
    }
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.reply));
    const int length = xcb_get_property_value_length(reply.reply);
    return std::string(bytes, static_cast<std::size_t>(length > 0 ? length : 0));
}

std::vector<xcb_window_t> childrenOf(xcb_connection_t* connection, xcb_window_t window) {
    const ReplyPtr reply(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
    if (!reply) {
        return {};
    }
    const xcb_window_t* first = xcb_query_tree_children(reply.reply);
    return {first, first + xcb_query_tree_children_length(reply.reply)};
}

}  // namespace

struct XWindowWatch::Connection {
    xcb_connection_t* x = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t pidAtom = XCB_ATOM_NONE;
    std::vector<std::string> titles;
    std::vector<xcb_window_t> found;  // per title, 0 until seen

    ~Connection() { xcb_disconnect(x); }

    bool ours(xcb_window_t window) const {
        const std::string pid = propertyOf(x, window, pidAtom);
        const auto self = static_cast<std::uint32_t>(getpid());
        return pid.size() == sizeof self && std::memcmp(pid.data(), &self, sizeof self) == 0;
    }

    // Looks a few levels down from the root: a window manager puts each window in a frame.
    void findTitles(xcb_window_t parent, int depth) {
        for (const xcb_window_t window : childrenOf(x, parent)) {
            const std::string name = propertyOf(x, window, XCB_ATOM_WM_NAME);
            for (std::size_t i = 0; i < titles.size(); ++i) {
                if (found[i] == 0 && name == titles[i] && ours(window)) {
                    found[i] = window;
                }
            }
            if (depth > 1) {
                findTitles(window, depth - 1);
            }
        }
    }

    bool exists(xcb_window_t window) const {
        xcb_generic_error_t* error = nullptr;
        const ReplyPtr reply(
            xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, window), &error));
        std::free(error);
        return static_cast<bool>(reply);
    }
};

XWindowWatch::XWindowWatch(std::vector<std::string> titles) {
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x) != 0) {
        xcb_disconnect(x);
        return;
    }
    connection_ = std::make_unique<Connection>();
    connection_->x = x;
    connection_->root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    connection_->pidAtom = atomNamed(x, "_NET_WM_PID");
    connection_->found.assign(titles.size(), 0);
    connection_->titles = std::move(titles);
}

XWindowWatch::~XWindowWatch() = default;

bool XWindowWatch::allPresent() {
    if (!connection_) {
        return true;
    }
    Connection& c = *connection_;
    if (std::find(c.found.begin(), c.found.end(), 0u) != c.found.end()) {
        c.findTitles(c.root, 3);
        return true;  // not all shown yet, or just found
    }
    const bool present = std::all_of(c.found.begin(), c.found.end(),
                                     [&](xcb_window_t window) { return c.exists(window); });
    // Without a server every window looks gone; that is a lost display, not a closed window.
    return present || displayLost();
}

std::optional<std::pair<int, int>> XWindowWatch::sizeOf(const std::string& title) const {
    if (!connection_) {
        return std::nullopt;
    }
    const Connection& c = *connection_;
    for (std::size_t i = 0; i < c.titles.size(); ++i) {
        if (c.titles[i] == title && c.found[i] != 0) {
            const ReplyPtr reply(
                xcb_get_geometry_reply(c.x, xcb_get_geometry(c.x, c.found[i]), nullptr));
            if (reply) {
                return std::pair<int, int>(reply->width, reply->height);
            }
        }
    }
    return std::nullopt;
}

bool XWindowWatch::displayLost() const {
    return connection_ && xcb_connection_has_error(connection_->x) != 0;
}

}  // namespace glintara
