// Feeds arbitrary bytes to the picture check that `vistrel edit` and paste use. A picture that
// comes out must be within the limit; anything else must come with a reason.
#include "platform/PictureFile.h"

#include <QBuffer>
#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

using namespace vistrel;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv); // the picture plugins are found through it
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const PictureRead read = decodePicture(&buffer);
    if (read.image.isNull() == read.error.isEmpty())
        std::abort(); // a picture and an error, or neither
    if (!read.image.isNull() && !PictureLimits::fits(read.image.size()))
        std::abort();
    return 0;
}
