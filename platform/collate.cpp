// The Japanese order through ICU's collation of the text converted to UTF-8.
#include "platform/collate.h"

#include "platform/encoding.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <memory>

namespace platform {
namespace {

// Japanese collation at the third level (base letters, accents, case) with lower case first;
// spaces and punctuation are shifted out of those levels. Made once; nullptr when the host's
// collation data cannot give it.
std::unique_ptr<const icu::Collator> MakeCollator() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icu::Locale::getJapanese(), status));
    if (U_FAILURE(status)) return nullptr;
    collator->setStrength(icu::Collator::TERTIARY);
    collator->setAttribute(UCOL_CASE_FIRST, UCOL_LOWER_FIRST, status);
    collator->setAttribute(UCOL_ALTERNATE_HANDLING, UCOL_SHIFTED, status);
    if (U_FAILURE(status)) return nullptr;
    return collator;
}

}  // namespace

int CollateCp932(std::string_view A, std::string_view B) {
    static const std::unique_ptr<const icu::Collator> collator = MakeCollator();
    if (collator) {
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult order = collator->compareUTF8(Cp932ToUtf8(A), Cp932ToUtf8(B), status);
        if (U_SUCCESS(status) && order != UCOL_EQUAL) return order;
    }
    if (A.size() != B.size()) return A.size() < B.size() ? -1 : 1;
    const int order = A.compare(B);
    return (order > 0) - (order < 0);
}

}  // namespace platform
