#include "text/nxwords_textout.h"

#include "text/nxwords.h"

platform::TextOutItem MessageOfWord(const TNxWord& Word, const std::string& Window) {
    platform::TextOutItem item;
    item.window = Window;
    size_t bytes = 0;
    // The reading of the run the last glyph belongs to; nullptr after anything but a character.
    const std::string* run = nullptr;
    for (int i = 0; i < Word.GlyphCount(); ++i) {
        const TWdGlyph* glyph = Word.GetGlyph(i);
        const int32_t kind = glyph->GetKind();
        if (kind == wkReturn) {
            if (bytes + 1 > platform::MaxTextOutBytes) break;
            item.text += '\n';
            ++bytes;
            run = nullptr;
            continue;
        }
        const auto* character = kind == wkChar ? dynamic_cast<const TWdChar*>(glyph) : nullptr;
        if (!character) {
            run = nullptr;
            continue;
        }
        const std::string text = character->GetText();
        const std::string& reading = character->Decorate->Ruby;
        const bool joins = !reading.empty() && run && *run == reading;
        const size_t cost = text.size() + (reading.empty() || joins ? 0 : reading.size());
        if (bytes + cost > platform::MaxTextOutBytes) break;
        bytes += cost;
        item.text += text;
        if (joins)
            item.ruby.back().base += text;
        else if (!reading.empty())
            item.ruby.push_back({text, reading});
        run = reading.empty() ? nullptr : &reading;
    }
    return item;
}
