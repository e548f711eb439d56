// libFuzzer entry: arbitrary bytes read as a JSON record, one line at a time,
// through the record reader; every entry it takes must read back the same
// once its writer writes it again.

#include "fuzz/record_reader_harness.h"

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    static Record_reader_harness harness;
    const QString broken = harness.run(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<int>(size)));
    if (!broken.isEmpty()) {
        std::fprintf(stderr, "%s\n", broken.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
