#include "app/view_fonts.h"

#include "core/stringlist.h"
#include "core/sysutils.h"
#include "core/titlename.h"
#include "core/vrfiles_manager.h"
#include "platform/fs.h"
#include "text/packfonts.h"

#include <memory>

namespace {

constexpr char FontExt[] = ".vft";

// The ".vft" names of Archive's top level, or of every file under the base folder but hidden ones, named from
// there on.
TStringList FontNames(const TVrFileManager& Sender, const TVrFileCollection* Archive) {
    TStringList names, fonts;
    if (Archive) {
        Archive->GetFileList("", names);
    } else if (const std::string& base = Sender.BaseFolder(); !base.empty()) {
        EnumFiles(base, faReadOnly | faHidden | faSysFile | faArchive, true, FontExt, false, false, true, names, true);
        for (int i = 0; i < names.Count(); ++i) names.SetString(i, names.Strings(i).substr(base.size()));
    }
    for (int i = 0; i < names.Count(); ++i)
        if (AnsiSameText(ExtractFileExt(names.Strings(i)), FontExt) && IsPlainRelativePath(names.Strings(i)))
            fonts.Add(names.Strings(i));
    return fonts;
}

// A new empty file "font" + four hexadecimal digits + ".tmp" in the private temporary folder,
// open for writing, the first number free from Unique on (every one before it is taken); FileName
// receives its name and Unique its number.
std::unique_ptr<TFileStream> CreateWorkFile(std::string& FileName, unsigned& Unique) {
    try {
        const std::string folder = platform::fs::TempFolder();
        for (; Unique <= 0xFFFF; ++Unique) {
            FileName = folder + Format("font%.4X.tmp", Unique);
            if (!platform::fs::FileExists(FileName)) return std::make_unique<TFileStream>(FileName, fmCreate);
        }
    } catch (const EVelaError&) {
        // no temporary folder, or the file refused: reported below
    }
    throw EVelaError("作業用ファイルが作成できません");
}

// Copies the content Name into a work file and hands it over; a broken font is reported by
// Name. Unique is the first work-file number that may be free, past the kept file's.
void HandOver(TVrFileManager& Sender, const std::string& Name, unsigned& Unique) {
    std::string fileName;
    std::unique_ptr<TFileStream> file = CreateWorkFile(fileName, Unique);
    bool kept = false;
    try {
        Sender.ReadFile(*file, Name);
        file.reset();
        kept = PixelFontManager->LoadFontFile(fileName, Name) != nullptr;
    } catch (...) {
        file.reset();
        platform::fs::DeleteFile(fileName);
        throw;
    }
    if (kept) {
        ExitDeleteList->Add({platform::fs::HeldFolder::Open(ExtractFilePath(fileName)), {ExtractFileName(fileName)}});
        ++Unique;
    } else {
        platform::fs::DeleteFile(fileName);
    }
}

}  // namespace

void ExtractPixelFonts(TVrFileManager& Sender, TVrFileCollection* Archive) {
    const TStringList fonts = FontNames(Sender, Archive);
    unsigned unique = 1;
    for (int i = 0; i < fonts.Count(); ++i) HandOver(Sender, fonts.Strings(i), unique);
}
