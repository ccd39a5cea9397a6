#include "text/packfonts.h"

#include "core/sysutils.h"
#include "core/zstreams.h"
#include "graphics/graphic.h"

#include <algorithm>
#include <cstring>

TPixelFontManager* PixelFontManager = nullptr;

namespace {

constexpr char kMagic[] = "VelaPixelFont";
constexpr int kMagicSize = 14;
constexpr int kRecordSize = 18;

template <class T>
T Get(const uint8_t* P) {
    T value;
    std::memcpy(&value, P, sizeof value);
    return value;
}

}  // namespace

void TPixelFontSection::LoadFromFile(const std::string& AFileName, const std::string& ShownName) {
    if (Stream) return;
    FileName = AFileName;
    auto stream = std::make_unique<TFileStream>(AFileName, fmOpenRead | fmShareDenyWrite);
    const auto corrupt = [&] {
        return EPixelFontError("フォントファイルが破壊されています\r\n" + (ShownName.empty() ? AFileName : ShownName));
    };

    char magic[kMagicSize] = {};
    if (stream->Read(magic, kMagicSize) != kMagicSize || std::string(magic, strnlen(magic, kMagicSize)) != kMagic)
        throw corrupt();
    if (stream->Read(Header.data(), kPixelFontHeaderSize) != kPixelFontHeaderSize) throw corrupt();
    const uint32_t indexSize = Get<uint32_t>(&Header[4]);
    const uint32_t count = Get<uint32_t>(&Header[88]);
    const int64_t fileSize = stream->Size();
    const int64_t dataBase = kMagicSize + kPixelFontHeaderSize + int64_t(indexSize);
    // A glyph's place in Entries is a code map value below kNoGlyph, so a file holds at most
    // 65,535 glyphs.
    if (dataBase > fileSize || count > kNoGlyph || (count > 0 && indexSize == 0)) throw corrupt();

    std::vector<TEntry> entries(count);
    std::vector<uint16_t> codeMap(65536, kNoGlyph);
    if (count > 0) {
        TMemoryStream packed;
        packed.SetSize(indexSize);
        stream->ReadBuffer(packed.Memory(), indexSize);
        std::vector<uint8_t> records(size_t(count) * kRecordSize);
        try {
            TZDecompressionStream index(packed);
            index.ReadBuffer(records.data(), int64_t(records.size()));
        } catch (const EZDecompressionError&) {
            throw corrupt();
        } catch (const EReadError&) {
            throw corrupt();
        }
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* p = &records[size_t(i) * kRecordSize];
            codeMap[Get<uint16_t>(p)] = uint16_t(i);
            entries[i] = {Get<uint16_t>(p + 2), Get<uint16_t>(p + 4), Get<int16_t>(p + 6), Get<int16_t>(p + 8),
                          Get<int16_t>(p + 10), Get<int16_t>(p + 12), Get<uint32_t>(p + 14)};
        }
    }
    Entries = std::move(entries);
    CodeMap = std::move(codeMap);
    DataBase = dataBase;
    fileSize_ = fileSize;
    Stream = std::move(stream);
}

std::string TPixelFontSection::FaceName() const {
    const char* name = reinterpret_cast<const char*>(&Header[12]);
    return std::string(name, strnlen(name, 64));
}

int32_t TPixelFontSection::FontSize() const { return Get<int32_t>(&Header[76]); }

TOutlineMetricsRecord TPixelFontSection::OutlineMetrics() const {
    TOutlineMetricsRecord record;
    std::copy_n(&Header[92], kOutlineMetricsSize, record.begin());
    return record;
}

std::string TPixelFontSection::Key() const { return PixelFontKey(FaceName(), FontSize(), Style()); }

const TPixelFontSection::TEntry* TPixelFontSection::FindEntry(uint16_t Code) const {
    if (!Stream || CodeMap[Code] == kNoGlyph) return nullptr;
    const TEntry& entry = Entries[CodeMap[Code]];
    try {
        CheckImageSize(entry.BlackBoxX, entry.BlackBoxY, 8);
    } catch (const EInvalidGraphic&) {
        return nullptr;
    }
    const int64_t end = DataBase + entry.Offset + entry.BlackBoxY * DIBWidthBytes(entry.BlackBoxX, 8);
    return end <= fileSize_ ? &entry : nullptr;
}

void TPixelFontSection::ReadPixels(const TEntry& Entry, TDIBX& Surface) {
    Surface.SetSize(Entry.BlackBoxX, Entry.BlackBoxY, 8);
    // The surface's memory is the bottom-up rows of the stored layout.
    Stream->SetPosition(DataBase + Entry.Offset);
    Stream->ReadBuffer(Surface.DIB->PBits(), int64_t(Surface.DIB->Size()));
}

std::string PixelFontKey(const std::string& Face, int32_t Size, uint8_t Style) {
    return Face + "_" + std::to_string(Size) + "_" + std::to_string(Style & 1) + "_" + std::to_string(Style >> 1 & 1);
}

TPixelFontSection* TPixelFontManager::LoadFontFile(const std::string& FileName, const std::string& ShownName) {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(GetSection(i)->FileName, FileName)) return nullptr;
    auto& section = static_cast<TPixelFontSection&>(Sections.Add());
    try {
        section.LoadFromFile(FileName, ShownName);
    } catch (...) {
        Sections.Delete(section.Index());
        throw;
    }
    const std::string key = section.Key();
    if (Sections.IndexOf(key) >= 0) {
        Sections.Delete(section.Index());
        return nullptr;
    }
    section.SetName(key);
    return &section;
}

TPixelFontSection* TPixelFontManager::GetSection(int Index) const {
    if (Index < 0 || Index >= Count()) return nullptr;
    return &static_cast<TPixelFontSection&>(Sections.Items(Index));
}

const TPixelFontSection::TEntry* TPixelFontManager::Find(const std::string& Face, int32_t Size, uint8_t Style,
                                                         uint16_t Code, TPixelFontSection*& Section,
                                                         TGlyphMetrics& Metrics,
                                                         TOutlineMetricsRecord& OutlineMetrics) const {
    Section = GetSection(Sections.IndexOf(PixelFontKey(Face, Size, Style)));
    const TPixelFontSection::TEntry* entry = Section ? Section->FindEntry(Code) : nullptr;
    if (!entry) return nullptr;
    Metrics = {entry->BlackBoxX, entry->BlackBoxY, entry->OriginX, entry->OriginY, entry->CellIncX, entry->CellIncY};
    OutlineMetrics = Section->OutlineMetrics();
    return entry;
}

bool TPixelFontManager::GetGlyph(const std::string& Face, int32_t Size, uint8_t Style, uint16_t Code,
                                 TGlyphMetrics& Metrics, TOutlineMetricsRecord& OutlineMetrics, TDIBX& Surface) {
    TPixelFontSection* section = nullptr;
    const TPixelFontSection::TEntry* entry = Find(Face, Size, Style, Code, section, Metrics, OutlineMetrics);
    if (!entry) return false;
    section->ReadPixels(*entry, Surface);
    return true;
}

bool TPixelFontManager::GetGlyphMetrics(const std::string& Face, int32_t Size, uint8_t Style, uint16_t Code,
                                        TGlyphMetrics& Metrics, TOutlineMetricsRecord& OutlineMetrics) {
    TPixelFontSection* section = nullptr;
    return Find(Face, Size, Style, Code, section, Metrics, OutlineMetrics) != nullptr;
}
