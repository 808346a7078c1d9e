// vistrel-recognizer: one text-recognition engine in a process of its own. The engine, its
// model and the thirty-odd libraries it pulls in cost the app tens of MiB while they are in
// use, and a library cannot be unloaded once opened: a helper that exits gives all of it back.
//
//   vistrel-recognizer read LANGUAGES     lines with their text ("eng", "eng+deu")
//   vistrel-recognizer layout             lines only, no model loaded
//
// It talks over its standard input, a stream socket (services/RecognizerProtocol.h), and
// exits when the app closes it or goes away.

#include "services/RecognizerProtocol.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace vistrel::recognizer;

namespace {

constexpr int channel = 0;

std::vector<Line> linesOf(tesseract::PageIterator *it, bool withText)
{
    std::vector<Line> lines;
    if (!it)
        return lines;
    do {
        int l, t, r, b;
        if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &t, &r, &b))
            continue;
        Line line{l, t, r, b, false, {}};
        if (withText) {
            auto *reading = static_cast<tesseract::ResultIterator *>(it);
            if (char *text = reading->GetUTF8Text(tesseract::RIL_TEXTLINE)) {
                line.text = text;
                delete[] text;
                line.hasText = true;
            }
        }
        lines.push_back(std::move(line));
    } while (it->Next(tesseract::RIL_TEXTLINE));
    return lines;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool reading = mode == "read" && argc > 2;
    if (!reading && mode != "layout") {
        std::fprintf(stderr, "vistrel-recognizer is started by Vistrel, not by hand.\n");
        return 2;
    }

    tesseract::TessBaseAPI api;
    bool ready = true;
    if (reading)
        ready = api.Init(nullptr, argv[2], tesseract::OEM_LSTM_ONLY) == 0;
    else
        api.InitForAnalysePage(); // finding lines needs no model
    api.SetVariable("debug_file", "/dev/null"); // its chatter stays out of the app's stderr
    if (!sendValue(channel, ready ? recognizerReady : recognizerNoModel) || !ready)
        return ready ? 0 : 1;

    std::vector<unsigned char> grey;
    for (;;) {
        std::uint32_t width = 0, height = 0;
        if (!receiveValue(channel, width) || !receiveValue(channel, height))
            break; // the app closed the channel: done
        const std::uint64_t pixels = std::uint64_t(width) * height;
        if (width == 0 || height == 0 || pixels > maxPixels)
            return 1;
        grey.resize(size_t(pixels));
        if (!receiveAll(channel, grey.data(), grey.size()))
            break;

        api.SetImage(grey.data(), int(width), int(height), 1, int(width));
        api.SetSourceResolution(300);
        api.SetPageSegMode(tesseract::PSM_AUTO);
        bool sent;
        if (reading) {
            if (api.Recognize(nullptr) != 0) {
                sent = sendValue<std::uint32_t>(channel, 1) && sendValue<std::uint32_t>(channel, 0);
            } else {
                std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
                sent = sendLines(channel, linesOf(it.get(), true));
            }
        } else {
            std::unique_ptr<tesseract::PageIterator> it(api.AnalyseLayout());
            sent = sendLines(channel, linesOf(it.get(), false));
        }
        api.Clear();
        if (!sent)
            break;
    }
    api.End();
    return 0;
}
