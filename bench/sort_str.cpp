// SortStr's sort of 100,000 short texts (kana, kanji and ASCII mixed, code page 932) beside ICU
// sorting the same texts, given as UTF-8, by the sort keys of the same Japanese collator.
// BM_RatioToIcu runs both in turn in each iteration and reports our time as a multiple of ICU's.
#include "core/sysutils.h"
#include "platform/clock.h"
#include "platform/encoding.h"

#include <benchmark/benchmark.h>
#include <unicode/coll.h>
#include <unicode/locid.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kTexts = 100000;

std::vector<std::string> MakeTexts() {
    static const char* const Pieces[] = {"あ", "カ", "さ", "ナ", "は", "ま", "漢", "字", "a", "B", "c", "1", "-", "ｱ"};
    std::mt19937 random(4242);
    std::vector<std::string> texts;
    for (size_t i = 0; i < kTexts; ++i) {
        std::string text;
        for (size_t n = 2 + random() % 6; n > 0; --n) text += Pieces[random() % std::size(Pieces)];
        texts.push_back(text);
    }
    return texts;
}

const std::vector<std::string>& Texts() {
    static const std::vector<std::string> texts = MakeTexts();
    return texts;
}

// The collator SortStr's order is made of: Japanese, third level, lower case first, punctuation
// shifted out.
std::unique_ptr<icu::Collator> MakeCollator() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icu::Locale::getJapanese(), status));
    collator->setStrength(icu::Collator::TERTIARY);
    collator->setAttribute(UCOL_CASE_FIRST, UCOL_LOWER_FIRST, status);
    collator->setAttribute(UCOL_ALTERNATE_HANDLING, UCOL_SHIFTED, status);
    return collator;
}

// ICU's own: a key for each text, the keys sorted.
class TIcuSort {
public:
    TIcuSort() : collator_(MakeCollator()) {
        for (const std::string& text : Texts()) utf8_.push_back(platform::Cp932ToUtf8(text));
    }
    std::string SortFirst() {
        std::vector<std::pair<std::string, size_t>> keyed;
        keyed.reserve(utf8_.size());
        for (size_t i = 0; i < utf8_.size(); ++i) {
            const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8_[i]);
            std::string key(64, '\0');
            int32_t size = collator_->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), 64);
            if (size > 64) {
                key.resize(static_cast<size_t>(size));
                collator_->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), size);
            }
            key.resize(static_cast<size_t>(size));
            keyed.emplace_back(std::move(key), i);
        }
        std::sort(keyed.begin(), keyed.end());
        return utf8_[keyed.front().second];
    }

private:
    std::unique_ptr<icu::Collator> collator_;
    std::vector<std::string> utf8_;
};

std::string OurSortFirst() {
    std::vector<std::string> texts = Texts();
    AnsiSortStr(texts, false);
    return platform::Cp932ToUtf8(texts.front());
}

void BM_SortStr(benchmark::State& State) {
    for (auto _ : State) benchmark::DoNotOptimize(OurSortFirst());
}

void BM_IcuSortKeys(benchmark::State& State) {
    TIcuSort peer;
    for (auto _ : State) benchmark::DoNotOptimize(peer.SortFirst());
}

// Both sides in turn in each iteration, so that a busy machine slows both alike: "x_icu" is our
// time over ICU's.
void BM_RatioToIcu(benchmark::State& State) {
    TIcuSort peer;
    uint64_t ours = 0, theirs = 0;
    bool same = true;
    for (auto _ : State) {
        uint64_t start = platform::ClockNs();
        const std::string first = OurSortFirst();
        ours += platform::ClockNs() - start;
        start = platform::ClockNs();
        same &= peer.SortFirst() == first;
        theirs += platform::ClockNs() - start;
    }
    if (!same) State.SkipWithError("the two sorts disagree on the first text");
    State.counters["x_icu"] = double(ours) / double(theirs);
}

}  // namespace

BENCHMARK(BM_SortStr)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IcuSortKeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RatioToIcu)->Unit(benchmark::kMillisecond)->MinTime(2.0);
