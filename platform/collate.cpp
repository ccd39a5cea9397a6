// The Japanese order through ICU's collation keys of the text converted to UTF-8.
#include "platform/collate.h"

#include "platform/encoding.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <algorithm>
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

std::vector<std::string> CollationKeysCp932(const std::vector<std::string>& Texts) {
    static const std::unique_ptr<const icu::Collator> collator = MakeCollator();
    std::vector<std::string> keys(Texts.size());
    if (!collator) return keys;
    const std::vector<std::string> utf8 = Cp932ToUtf8(Texts);
    for (size_t i = 0; i < utf8.size(); ++i) {
        const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8[i]);
        std::string& key = keys[i];
        key.resize(std::max<size_t>(utf8[i].size() * 4, 16));
        int32_t size = collator->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
        if (size > static_cast<int32_t>(key.size())) {
            key.resize(static_cast<size_t>(size));
            size = collator->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), size);
        }
        // The key ends in a NUL that belongs to no text.
        key.resize(size > 0 ? static_cast<size_t>(size - 1) : 0);
    }
    return keys;
}

}  // namespace platform
