#include "ReaderResult.h"

#include <ostream>

namespace ZORVA {

std::ostream& operator<<(std::ostream& out, ReaderResult result)
{
    switch (result) {
    case ReaderResult::Failed: return out << "Failed";
    case ReaderResult::NotFound: return out << "NotFound";
    case ReaderResult::Read: return out << "Read";
    }
    return out << "ReaderResult(" << static_cast<int>(result) << ")";
}

} // namespace ZORVA
