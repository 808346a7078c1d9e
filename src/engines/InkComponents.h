#pragma once

#include <QImage>
#include <QRect>

#include <cstddef>
#include <vector>

namespace vistrel {

// Calls `visit(members, bounds)` once for each 8-connected piece of ink (pixels darker than
// `ink`) of a Grayscale8 picture. `members` are the piece's pixels as y × width + x.
template <class Visit> void forEachInkComponent(const QImage &grey, int ink, Visit &&visit)
{
    const int w = grey.width(), h = grey.height();
    auto dark = [&](int x, int y) { return grey.constScanLine(y)[x] < ink; };
    std::vector<char> seen(size_t(w) * size_t(h), 0);
    std::vector<int> stack, members;
    for (int y0 = 0; y0 < h; ++y0)
        for (int x0 = 0; x0 < w; ++x0) {
            const size_t start = size_t(y0) * size_t(w) + size_t(x0);
            if (seen[start] || !dark(x0, y0))
                continue;
            int left = x0, right = x0, top = y0, bottom = y0;
            members.clear();
            seen[start] = 1;
            stack.assign(1, int(start));
            while (!stack.empty()) {
                const int i = stack.back();
                stack.pop_back();
                members.push_back(i);
                const int x = i % w, y = i / w;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                            continue;
                        const size_t j = size_t(ny) * size_t(w) + size_t(nx);
                        if (!seen[j] && dark(nx, ny)) {
                            seen[j] = 1;
                            stack.push_back(int(j));
                        }
                    }
            }
            visit(members, QRect(QPoint(left, top), QPoint(right, bottom)));
        }
}

} // namespace vistrel
