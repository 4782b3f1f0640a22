#include "swfextract/lib/Result.h"

namespace SwfExtract {

std::string Error::text() const
{
    if (offset < 0)
        return message;
    return message + " (at offset " + std::to_string(offset) + ")";
}

} // namespace SwfExtract
