#pragma once

// What the app and its text-recognition helper say to each other over one stream socket. The
// helper holds one engine for one language set ("layout" mode: none, for finding lines only),
// says once whether it is ready, then answers one picture at a time until the app closes the
// socket.
//
//   ready:   1 byte, `recognizerReady` or `recognizerNoModel`
//   request: u32 width, u32 height, then width × height grey bytes, row after row
//   reply:   u32 status (0: read), u32 item count, then per item
//            i32 left, top, right, bottom (exclusive), i32 block, i32 line, i32 confidence
//            (0…100), i32 text length (-1: none), UTF-8 text
//
// Reading answers one item per word, each naming the line and block it belongs to (numbered
// in the engine's reading order); finding lines answers one item per line, without text.

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace vistrel::recognizer {

inline constexpr char recognizerReady = 'R';
inline constexpr char recognizerNoModel = 'M';
// Far beyond any prepared screenshot; a request above it is not one of ours.
inline constexpr std::uint64_t maxPixels = 256ull * 1024 * 1024;

struct Line
{
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::int32_t block = 0, line = 0, confidence = 0;
    bool hasText = false;
    std::string text;
};

// Runs `step` (a send or a receive) until `size` bytes have gone through; false when the
// peer has gone.
template <class Step> bool whole(char *p, size_t size, Step step)
{
    while (size > 0) {
        const ssize_t n = step(p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

// Never raises SIGPIPE.
inline bool sendAll(int fd, const void *data, size_t size)
{
    return whole(static_cast<char *>(const_cast<void *>(data)), size,
                 [fd](char *p, size_t n) { return ::send(fd, p, n, MSG_NOSIGNAL); });
}

inline bool receiveAll(int fd, void *data, size_t size)
{
    return whole(static_cast<char *>(data), size,
                 [fd](char *p, size_t n) { return ::recv(fd, p, n, 0); });
}

template <class T> bool sendValue(int fd, T value)
{
    return sendAll(fd, &value, sizeof value);
}

template <class T> bool receiveValue(int fd, T &value)
{
    return receiveAll(fd, &value, sizeof value);
}

inline bool sendLines(int fd, const std::vector<Line> &lines)
{
    if (!sendValue<std::uint32_t>(fd, 0) ||
        !sendValue<std::uint32_t>(fd, std::uint32_t(lines.size())))
        return false;
    for (const Line &l : lines) {
        const std::int32_t box[8] = {
            l.left,  l.top,  l.right,      l.bottom,
            l.block, l.line, l.confidence, l.hasText ? std::int32_t(l.text.size()) : -1};
        if (!sendAll(fd, box, sizeof box) ||
            !sendAll(fd, l.text.data(), l.hasText ? l.text.size() : 0))
            return false;
    }
    return true;
}

// False when the reply is cut short or not well formed; `failed` tells a helper that answered
// but could not read the picture.
inline bool receiveLines(int fd, std::vector<Line> &lines, bool &failed)
{
    std::uint32_t status = 0, count = 0;
    if (!receiveValue(fd, status) || !receiveValue(fd, count))
        return false;
    failed = status != 0;
    lines.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        std::int32_t box[8];
        if (!receiveAll(fd, box, sizeof box) || box[7] > (1 << 20))
            return false;
        Line l{box[0], box[1], box[2], box[3], box[4], box[5], box[6], box[7] >= 0, {}};
        if (l.hasText) {
            l.text.resize(size_t(box[7]));
            if (!receiveAll(fd, l.text.data(), l.text.size()))
                return false;
        }
        lines.push_back(std::move(l));
    }
    return true;
}

} // namespace vistrel::recognizer
