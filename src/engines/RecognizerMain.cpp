// vistrel-recognizer: one text-recognition engine in a process of its own. The engine, its
// model and the thirty-odd libraries it pulls in cost the app tens of MiB while they are in
// use, and a library cannot be unloaded once opened: a helper that exits gives all of it back.
//
//   vistrel-recognizer read LANGUAGES     lines with their text ("eng", "eng+deu")
//   vistrel-recognizer layout             lines only, no model loaded
//
// It talks over its standard input, a stream socket (engines/RecognizerProtocol.h), and
// exits when the app closes it or goes away.

#include "engines/RecognizerProtocol.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace vistrel::recognizer;

namespace {

constexpr int channel = 0;

// Finding lines: one item per line, no text.
std::vector<Line> linesOf(tesseract::PageIterator *it)
{
    std::vector<Line> lines;
    if (!it)
        return lines;
    int block = -1, index = 0;
    do {
        if (it->IsAtBeginningOf(tesseract::RIL_BLOCK))
            ++block;
        int l, t, r, b;
        if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &t, &r, &b))
            continue;
        lines.push_back(Line{l, t, r, b, std::max(block, 0), index++, 0, false, {}});
    } while (it->Next(tesseract::RIL_TEXTLINE));
    return lines;
}

// Reading: one item per word, so that the app can keep the gaps between them and put the
// pieces of one row back together across the engine's blocks.
std::vector<Line> wordsOf(tesseract::ResultIterator *it)
{
    std::vector<Line> words;
    if (!it || it->Empty(tesseract::RIL_WORD))
        return words;
    int block = -1, line = -1;
    do {
        if (it->IsAtBeginningOf(tesseract::RIL_BLOCK))
            ++block;
        if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE))
            ++line;
        int l, t, r, b;
        if (!it->BoundingBox(tesseract::RIL_WORD, &l, &t, &r, &b))
            continue;
        Line word{l,
                  t,
                  r,
                  b,
                  std::max(block, 0),
                  std::max(line, 0),
                  int(it->Confidence(tesseract::RIL_WORD)),
                  false,
                  {}};
        if (char *text = it->GetUTF8Text(tesseract::RIL_WORD)) {
            word.text = text;
            delete[] text;
            word.hasText = true;
        }
        words.push_back(std::move(word));
    } while (it->Next(tesseract::RIL_WORD));
    return words;
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
        api.InitForAnalysePage();               // finding lines needs no model
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
        // Reading takes the picture as one column: the engine's own column finder cuts
        // listings and tables into a block per column and loses cells at the cuts. The app
        // splits lines at panel edges and orders columns itself. Finding lines for snapping
        // keeps the engine's own blocks.
        api.SetPageSegMode(reading ? tesseract::PSM_SINGLE_COLUMN : tesseract::PSM_AUTO);
        bool sent;
        if (reading) {
            if (api.Recognize(nullptr) != 0) {
                sent = sendValue<std::uint32_t>(channel, 1) && sendValue<std::uint32_t>(channel, 0);
            } else {
                std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
                sent = sendLines(channel, wordsOf(it.get()));
            }
        } else {
            std::unique_ptr<tesseract::PageIterator> it(api.AnalyseLayout());
            sent = sendLines(channel, linesOf(it.get()));
        }
        api.Clear();
        if (!sent)
            break;
    }
    api.End();
    return 0;
}
