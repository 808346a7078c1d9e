#include "services/TesseractEngine.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <QHash>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vistrel {

namespace {

// Loading a model takes a while; each thread keeps one engine per language set.
tesseract::TessBaseAPI *engineFor(const QString &languages)
{
    thread_local QHash<QString, std::shared_ptr<tesseract::TessBaseAPI>> engines;
    auto it = engines.find(languages);
    if (it != engines.end())
        return it->get();
    auto api = std::make_shared<tesseract::TessBaseAPI>();
    if (api->Init(nullptr, languages.toUtf8().constData(), tesseract::OEM_LSTM_ONLY) != 0)
        return nullptr;
    api->SetVariable("debug_file", "/dev/null"); // the engine's chatter stays out of our stderr
    engines.insert(languages, api);
    return api.get();
}

QString modelMissing(const QString &languages)
{
    // Debian packages each model as tesseract-ocr-<code>.
    QStringList packages;
    for (const QString &code : languages.split(QLatin1Char('+'), Qt::SkipEmptyParts))
        packages.append(QStringLiteral("tesseract-ocr-") + code);
    if (languages == QLatin1String("eng"))
        return QStringLiteral("Text recognition needs the English model (eng), which could not be "
                              "loaded. Install the package tesseract-ocr-eng.");
    return QStringLiteral("Text recognition needs the models \"%1\", which could not be loaded. "
                          "Install the packages %2.")
        .arg(languages, packages.join(QStringLiteral(", ")));
}

void setImage(tesseract::TessBaseAPI &api, const QImage &grey)
{
    api.SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    api.SetSourceResolution(300);
}

} // namespace

PreparedImage TesseractEngine::prepare(const QImage &image, double pixelBudget)
{
    PreparedImage out;
    QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    // Light text on a dark theme: the engine wants dark text on light.
    quint64 sum = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *line = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            sum += line[x];
    }
    const quint64 pixels = quint64(grey.width()) * quint64(grey.height());
    if (pixels && sum / pixels < 128) {
        grey.invertPixels();
        out.inverted = true;
    }
    // UI text of 10–16 px is too small for the engine: enlarge up to three times, less for
    // big pictures, whose reading time grows with their area.
    out.scale = pixels ? std::clamp(std::sqrt(pixelBudget / double(pixels)), 1.0, 3.0) : 1.0;
    if (out.scale > 1.0)
        grey = grey.scaled(grey.size() * out.scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    out.grey = grey;
    return out;
}

Result<QList<EngineLine>> TesseractEngine::recognize(const QImage &grey, const QString &languages)
{
    tesseract::TessBaseAPI *api = engineFor(languages);
    if (!api)
        return CaptureError::failed(modelMissing(languages));
    setImage(*api, grey);
    api->SetPageSegMode(tesseract::PSM_AUTO);
    if (api->Recognize(nullptr) != 0) {
        api->Clear();
        return CaptureError::failed(QStringLiteral("Text recognition failed."));
    }
    QList<EngineLine> lines;
    std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
    if (it) {
        do {
            int l, t, r, b;
            if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &t, &r, &b))
                continue;
            EngineLine line;
            line.box = QRect(QPoint(l, t), QPoint(r - 1, b - 1));
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (text) {
                const QString s = QString::fromUtf8(text.get()).trimmed();
                if (!s.isEmpty())
                    line.text = s;
            }
            lines.append(line);
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    api->Clear();
    return lines;
}

QList<EngineLine> TesseractEngine::layout(const QImage &grey)
{
    QList<EngineLine> boxes;
    tesseract::TessBaseAPI *api = engineFor(QStringLiteral("eng"));
    if (!api || grey.isNull())
        return boxes;
    setImage(*api, grey);
    api->SetPageSegMode(tesseract::PSM_AUTO);
    std::unique_ptr<tesseract::PageIterator> it(api->AnalyseLayout());
    if (it) {
        do {
            int l, t, r, b;
            if (it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &t, &r, &b))
                boxes.append({QRect(QPoint(l, t), QPoint(r - 1, b - 1)), std::nullopt});
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    api->Clear();
    return boxes;
}

} // namespace vistrel
