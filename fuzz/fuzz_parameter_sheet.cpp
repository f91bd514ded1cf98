// Parameter sheet files: whatever reads must write back to a file that reads
// as the same sheet, and validation must never fail on a sheet that read.

#include "protocol/ParameterSheet.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const ktv::SheetReadResult read = ktv::readParameterSheet(bytes, QStringLiteral("f"));
    if (read.sheet.has_value() == !read.error.isEmpty())
        std::abort(); // exactly one of a sheet and an error
    if (!read.sheet)
        return 0;
    const QByteArray written = ktv::writeParameterSheet(*read.sheet);
    const ktv::SheetReadResult again = ktv::readParameterSheet(written, QStringLiteral("f"));
    if (!again.sheet || !(*again.sheet == *read.sheet))
        std::abort();
    if (ktv::writeParameterSheet(*again.sheet) != written)
        std::abort();
    for (const ktv::SheetRefusal &refusal :
         ktv::validateParameterSheet(*read.sheet, read.sheet->unitModel)) {
        if (refusal.text.isEmpty() || (refusal.profile == 0) != refusal.key.isEmpty())
            std::abort();
    }
    return 0;
}
