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

TCollationKeys CollationKeysCp932(const std::vector<std::string>& Texts) {
    static const std::unique_ptr<const icu::Collator> collator = MakeCollator();
    TCollationKeys keys;
    if (!collator) {
        keys.Ends.assign(Texts.size(), 0);
        return keys;
    }
    keys.Ends.reserve(Texts.size());
    for (const std::string& text : Cp932ToUtf8(Texts)) {
        const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
        const size_t start = keys.Bytes.size();
        keys.Bytes.resize(start + std::max<size_t>(text.size() * 4, 16));
        const auto key = [&] { return reinterpret_cast<uint8_t*>(keys.Bytes.data() + start); };
        int32_t size = collator->getSortKey(unicode, key(), static_cast<int32_t>(keys.Bytes.size() - start));
        if (size > static_cast<int32_t>(keys.Bytes.size() - start)) {
            keys.Bytes.resize(start + static_cast<size_t>(size));
            size = collator->getSortKey(unicode, key(), size);
        }
        // The key ends in a NUL that belongs to no text.
        keys.Bytes.resize(start + (size > 0 ? static_cast<size_t>(size - 1) : 0));
        keys.Ends.push_back(keys.Bytes.size());
    }
    return keys;
}

}  // namespace platform
